// catalogue_assets.cpp -- models and textures of a new bike, with fallbacks.
//
// Owns: load_bike_assets and the name rules of texture variants.  Needs:
// the installed bike_asset_ops (none: headless, nothing loaded), the log.
// Promises: names are built in bounded buffers and a name that doesn't fit
// is treated as a file that can't be loaded, never cut; a group whose
// texture or key model is missing is reloaded whole with the record's
// default texture, so a bike never mixes stock and variant parts because
// of one missing file.
#include "bike/catalogue_assets.h"

#include <cstdio>
#include <cstring>

#include "base/text.h"
#include "bike/catalogue.h"
#include "data/paths.h"
#include "platform/log.h"

static constexpr int variant_max = 64;   // bytes of a variant text, NUL included
static const char background_tag[] = "[numberbackground:";
static const char foreground_tag[] = "[numberforeground:";

static const bike_asset_ops* asset_ops = nullptr;

// A table without its two loaders counts as none.
void bike_asset_ops_install(const bike_asset_ops* ops)
{
    asset_ops = ops && ops->load_model && ops->load_texture ? ops : nullptr;
}

// ------------------------------------------------------------ name rules

static const char* file_part(const char* name)
{
    const char* slash = strrchr(name, '/');
    return slash ? slash + 1 : name;
}

bool texture_variant(const char* texture_name, char* out, size_t size)
{
    if (!texture_name || size == 0)
        return false;
    const char* first = strchr(file_part(texture_name), '-');
    const char* second = first ? strchr(first + 1, '-') : nullptr;
    if (!second || static_cast<size_t>(second - first) >= size)
        return false;
    memcpy(out, first, static_cast<size_t>(second - first));
    out[second - first] = '\0';
    return true;
}

bool variant_model_name(const char* model_name, const char* variant, char* out, size_t size)
{
    const char* dot = strrchr(file_part(model_name), '.');
    size_t stem = dot ? static_cast<size_t>(dot - model_name) : strlen(model_name);
    if (stem >= size)
        return false;
    memcpy(out, model_name, stem);
    out[stem] = '\0';
    return text_append(out, size, variant) && text_append(out, size, ".jm");
}

bool variant_model_beside_texture(const char* texture_name, const char* candidate, char* out, size_t size)
{
    const char* slash = strrchr(texture_name, '/');
    if (!slash)
        return false;
    size_t dir = static_cast<size_t>(slash + 1 - texture_name);
    if (dir >= size)
        return false;
    memcpy(out, texture_name, dir);
    out[dir] = '\0';
    const char* file = file_part(candidate);
    if (file[0] == '@')
        file++;
    return text_append(out, size, file);
}

// One colour tag: three numbers after the tag, clamped to 0..1 (NaN reads
// as 0) and scaled to bytes; the colour is left alone unless all three parse.
static void read_colour_tag(const char* info, const char* tag, uint8_t colour[3])
{
    const char* at = strstr(info, tag);
    if (!at)
        return;
    float c[3];
    if (sscanf(at + strlen(tag), "%f,%f,%f", &c[0], &c[1], &c[2]) != 3)
        return;
    for (int i = 0; i < 3; i++) {
        float v = c[i] > 0.0f ? (c[i] < 1.0f ? c[i] : 1.0f) : 0.0f;
        colour[i] = static_cast<uint8_t>(v * 255.0f);
    }
}

void plate_colours_from_info(const char* info, uint8_t background[3], uint8_t foreground[3])
{
    for (int i = 0; i < 3; i++) {
        background[i] = 255;
        foreground[i] = 0;
    }
    if (!info)
        return;
    read_colour_tag(info, background_tag, background);
    read_colour_tag(info, foreground_tag, foreground);
}

// ------------------------------------------------------------ loading

// One model with the variant of its group's texture; warns when asked.
static const model* load_variant_model(const char* stock, const char* texture, bool warn)
{
    char variant[variant_max];
    if (!texture || !texture_variant(texture, variant, sizeof variant)) {
        const model* m = asset_ops->load_model(stock);
        if (!m && warn)
            log_printf("Warning: Can't load %.900s\n", stock);
        return m;
    }
    char first[path_max];
    if (!variant_model_name(stock, variant, first, sizeof first)) {
        if (warn)
            log_printf("Warning: Can't load %.900s\n", stock);
        return nullptr;
    }
    if (const model* m = asset_ops->load_model(first))
        return m;
    char second[path_max];
    if (variant_model_beside_texture(texture, first, second, sizeof second)) {
        if (const model* m = asset_ops->load_model(second))
            return m;
        if (warn)
            log_printf("Warning: Can't load %.450s or %.450s\n", first, second);
        return nullptr;
    }
    if (warn)
        log_printf("Warning: Can't load %.900s\n", first);
    return nullptr;
}

static texture_id load_chosen_texture(const char* name)
{
    return name ? asset_ops->load_texture(name) : 0;
}

static void load_paint_group(const bike_model* m, const char* texture, bike_assets* out)
{
    out->frame = load_variant_model(m->frame_model, texture, true);
    out->side_plates = load_variant_model(m->side_plates_model, texture, true);
    out->fork_upper = load_variant_model(m->fork_upper_model, texture, true);
    out->front_plate = load_variant_model(m->front_plate_model, texture, true);
    out->fork_lower = load_variant_model(m->fork_lower_model, texture, true);
    out->swingarm = load_variant_model(m->swingarm_model, texture, true);
}

static void load_wheel_group(const bike_model* m, const char* texture, bike_assets* out)
{
    out->front_wheel = load_variant_model(m->front_wheel_model, texture, true);
    out->rear_wheel = load_variant_model(m->rear_wheel_model, texture, true);
}

static void load_gear_group(const bike_model* m, const char* texture, bike_assets* out)
{
    out->rider_plate = load_variant_model(m->rider_plate_model, texture, false);
    out->rider_body = load_variant_model(m->rider_model, texture, true);
    out->rider_body_first_person = load_variant_model(m->rider_model_first_person, texture, false);
}

static void load_helmet_group(const bike_model* m, const char* texture, bike_assets* out)
{
    out->rider_head = load_variant_model(m->helmet_model, texture, true);
}

void load_bike_assets(const bike_model* m, const char* number, const bike_texture_choice& chosen,
                      bike_assets* out)
{
    *out = bike_assets{};
    plate_colours_from_info(nullptr, out->plate_background, out->plate_foreground);
    text_copy(out->number, sizeof out->number, number ? number : "");   // longer numbers are cut to 7
    if (!asset_ops || !m)
        return;

    out->paint = load_chosen_texture(chosen.paint);
    out->wheels = load_chosen_texture(chosen.wheels);
    out->gear = load_chosen_texture(chosen.gear);
    out->helmet = load_chosen_texture(chosen.helmet);
    load_paint_group(m, chosen.paint, out);
    load_wheel_group(m, chosen.wheels, out);
    load_gear_group(m, chosen.gear, out);
    load_helmet_group(m, chosen.helmet, out);

    // A group whose texture or key model is missing goes back to stock.
    if (!out->paint || !out->frame) {
        out->paint = asset_ops->load_texture(m->paint_texture);
        load_paint_group(m, m->paint_texture, out);
    }
    if (!out->wheels || !out->front_wheel || !out->rear_wheel) {
        out->wheels = asset_ops->load_texture(m->wheel_texture);
        load_wheel_group(m, m->wheel_texture, out);
    }
    if (!out->gear || !out->rider_body) {
        out->gear = asset_ops->load_texture(m->gear_texture);
        load_gear_group(m, m->gear_texture, out);
    }
    if (!out->helmet || !out->rider_head) {
        out->helmet = asset_ops->load_texture(m->helmet_texture);
        load_helmet_group(m, m->helmet_texture, out);
    }

    const char* info = out->paint && asset_ops->texture_info ? asset_ops->texture_info(out->paint) : nullptr;
    plate_colours_from_info(info, out->plate_background, out->plate_foreground);
    if (asset_ops->number_plate)
        out->number_plate = asset_ops->number_plate(out->number, out->plate_background, out->plate_foreground);
}
