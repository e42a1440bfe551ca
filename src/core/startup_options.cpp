// startup_options.cpp -- option defaults, detail settings and the command line.
//
// Options are tried in a fixed order at each argument; the first match is
// applied and a later repetition overrides an earlier one.  An argument that
// matches none is a file (a demo to play): one only, and one starting with
// "-" only after "--".  Numeric values come in three strictnesses:
// validated (nothing readable, or not finite: "Bad arg for OPTION", status
// 1), atoi (the leading integer, 0 without one) and unvalidated (the setting
// is left alone when nothing is readable).
#include "core/startup_options.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "data/paths.h"
#include "platform/log.h"
#include "ui/settings.h"

startup_options opts;

constexpr const char* connect_link_prefix = "vortrak:";   // a link's scheme
constexpr float min_ground_detail = 1.0f;   // keeps 0.125 / "ground_detail" finite

void startup_options_defaults(startup_options* o)
{
    memset(o, 0, sizeof *o);
    o->terrain_detail = 0.02f;
    o->max_detail_distance[0] = 70;
    o->max_detail_distance[1] = 75;
    o->lod_scale = 1.0f;
    o->lod_bias = 0;
    o->show_pause_text = 1;
    o->show_hud = 1;
    o->color_bits = 16;
    o->depth_bits = 16;
    o->chase_center = {0, 2.52f, 0.52f};
    o->ground_texture_dim = 128;
}

static float clampf(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }
static int clampi(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

void derive_detail_settings(const game_settings& s, startup_options* o)
{
    // The menu's range for "ground_detail" includes 0, which would make the
    // threshold infinite: the finest setting is used instead.
    float ground_detail = s.ground_detail >= min_ground_detail ? s.ground_detail : min_ground_detail;
    o->terrain_detail = 0.125f / ground_detail;
    o->ground_texture_level = static_cast<int>(clampf(10.0f - s.ground_texture_detail, 0, 10));
    o->ground_texture_dim = 32 << clampi(s.ground_texture_dim, 0, 5);
    float scale = clampf(100.0f - s.model_detail, 0, 100) * 0.02f;
    o->lod_scale = scale <= 1.0f ? scale : scale * scale * scale;
    o->lod_bias = 50.0f - 50.0f * clampf((s.model_detail - 10.0f) * 0.05f, 0, 1);
    o->texture_level = static_cast<int>(clampf(10.0f - s.model_texture_detail, 0, 10));
    o->roost_frequency = static_cast<int>(s.roost_density);
    o->texture_compress = s.texture_compress;
    o->reflections = s.reflections;
}

bool match_option(arg_cursor* c, const char* name, const char** value_out)
{
    if (c->options_ended || c->remaining <= 0)
        return false;
    const char* arg = c->next[0];
    if (!value_out) {
        if (strcmp(arg, name) != 0)
            return false;
        c->next++;
        c->remaining--;
        return true;
    }
    if (strcmp(arg, "--") == 0) {
        c->options_ended = true;
        c->next++;
        c->remaining--;
        return false;
    }
    if (strcmp(arg, name) == 0) {
        c->next++;
        c->remaining--;
        *value_out = nullptr;
        if (c->remaining > 0) {
            *value_out = c->next[0];
            c->next++;
            c->remaining--;
        }
        return true;
    }
    size_t n = strlen(name);
    if (strncmp(arg, name, n) == 0 && arg[n] == '=') {
        *value_out = arg + n + 1;
        c->next++;
        c->remaining--;
        return true;
    }
    return false;
}

// The leading decimal integer of text ("%d"), saturated to int.
static bool read_int(const char* text, int* out)
{
    if (!text)
        return false;
    char* end;
    errno = 0;
    long v = strtol(text, &end, 10);
    if (end == text)
        return false;
    if (v > INT_MAX || (errno == ERANGE && v > 0))
        v = INT_MAX;
    if (v < INT_MIN || (errno == ERANGE && v < 0))
        v = INT_MIN;
    *out = static_cast<int>(v);
    return true;
}

// The leading real of text ("%f"); infinities and NaNs are not numbers here.
static bool read_float(const char* text, float* out)
{
    if (!text)
        return false;
    char* end;
    float v = strtof(text, &end);
    if (end == text || !std::isfinite(v))
        return false;
    *out = v;
    return true;
}

static int bad_arg(const char* option)
{
    fprintf(stderr, "Bad arg for %s\n", option);
    return 1;
}

static int atoi_value(const char* text)
{
    int v = 0;
    return read_int(text, &v) ? v : 0;
}

static bool read_chase_center(const char* text, vec3* out)
{
    if (!text)
        return false;
    float v[3];
    char* end;
    const char* p = text;
    for (int i = 0; i < 3; i++) {
        v[i] = strtof(p, &end);
        if (end == p || !std::isfinite(v[i]))
            return false;
        p = end;
        if (i < 2) {
            if (*p != ',')
                return false;
            p++;
        }
    }
    *out = {v[0], v[1], v[2]};
    return true;
}

// The flag options, in the order they are tried.
struct flag_option {
    const char* name;
    int startup_options::*field;
    int value;
};
static const flag_option flag_options_head[] = {
    {"--fugly", &startup_options::fugly, 1},
    {"--nosound", &startup_options::no_sound, 1},
    {"--novertexarrays", &startup_options::no_vertex_arrays, 1},
    {"--learn", &startup_options::learn_lines, 1},
    {"--nolearn", &startup_options::learn_lines, 0},
};
static const flag_option flag_options_tail[] = {
    {"--debug", &startup_options::debug_level, 1},
    {"--super-debug", &startup_options::debug_level, 2},
    {"--practice", &startup_options::practice, 1},
    {"--warp", &startup_options::warp, 1},
};

static bool match_flag_table(arg_cursor* c, const flag_option* table, int count, startup_options* o)
{
    for (int i = 0; i < count; i++)
        if (match_option(c, table[i].name, nullptr)) {
            o->*table[i].field = table[i].value;
            return true;
        }
    return false;
}

enum option_result { no_match, matched, failed };

// Tries every option at the cursor in the fixed order.  On failure *status
// holds the exit status.
static option_result match_one(arg_cursor* c, startup_options* o, game_settings* s, int* status)
{
    const char* v;
    int iv;
    float fv;
#define FAIL(name) do { *status = bad_arg(name); return failed; } while (0)

    if (match_flag_table(c, flag_options_head, 5, o))
        return matched;
    if (match_option(c, "--nommx", nullptr)) {
        if (o->have_mmx)
            log_printf("Ignoring MMX\n");
        o->have_mmx = 0;
        return matched;
    }
    if (match_flag_table(c, flag_options_tail, 4, o))
        return matched;
    if (match_option(c, "--texture-detail", &v)) {
        if (!read_int(v, &iv)) FAIL("--texture-detail");
        o->texture_level = o->ground_texture_level = clampi(iv, 0, 4);
        return matched;
    }
    if (match_option(c, "--ground-texture-detail", &v)) {
        if (!read_int(v, &iv)) FAIL("--ground-texture-detail");
        o->ground_texture_level = clampi(iv, 0, 4);
        return matched;
    }
    if (match_option(c, "--roostfrequency", &v)) {
        if (!read_int(v, &iv)) FAIL("--roostfrequency");
        o->roost_frequency = clampi(iv, 0, 1000);
        return matched;
    }
    if (match_option(c, "--erode", &v)) {
        if (!read_float(v, &fv)) FAIL("--erode");
        o->erode_amount = clampf(fv, 0, 100);
        return matched;
    }
    if (match_option(c, "--detail", &v)) {
        if (!read_float(v, &fv)) FAIL("--detail");
        o->terrain_detail = fv;
        return matched;
    }
    if (match_option(c, "--max-detail-distance", &v)) {
        if (!read_float(v, &fv)) FAIL("--max-detail-distance");
        o->max_detail_distance[0] = fv;
        o->max_detail_distance[1] = fv + 5;
        return matched;
    }
    if (match_option(c, "--lod-scale", &v)) {
        if (!read_float(v, &fv)) FAIL("--lod-scale");
        o->lod_scale = clampf(fv, 0.000001f, 1000000.0f);
        return matched;
    }
    if (match_option(c, "--lod-bias", &v)) {
        if (!read_float(v, &fv)) FAIL("--lod-bias");
        o->lod_bias = fv;
        return matched;
    }
    if (match_option(c, "--lock-fps", &v)) {
        if (!read_float(v, &fv)) FAIL("--lock-fps");
        o->lock_fps = fv;
        return matched;
    }
    if (match_option(c, "--fake-lag", &v)) {
        if (!read_float(v, &fv)) FAIL("--fake-lag");
        o->fake_lag = clampf(fv / 1000.0f, 0, 1);
        return matched;
    }
    if (match_option(c, "--fake-loss", &v)) {
        if (!read_int(v, &iv)) FAIL("--fake-loss");
        o->fake_loss = clampi(iv, 0, 100);
        return matched;
    }
    if (match_option(c, "--record-audio", &v)) {
        if (v)
            o->record_audio_path = v;
        return matched;
    }
    if (match_option(c, "--record-video", nullptr)) { o->record_video = 1; return matched; }
    if (match_option(c, "--rotate-lineup", &v)) {
        if (read_int(v, &iv))
            o->rotate_lineup = iv;
        return matched;
    }
    if (match_option(c, "--editor", nullptr)) { o->editor_enabled = 1; return matched; }
    if (match_option(c, "--hidden-pause", nullptr)) { o->show_pause_text = 0; return matched; }
    if (match_option(c, "--hidden-hud", nullptr)) { o->show_hud = 0; return matched; }
    if (match_option(c, "--bikes", &v)) {
        fprintf(stderr, "--bikes doesn't do anything anymore\n");
        return matched;
    }
    if (match_option(c, "--width", &v)) {
        if (read_int(v, &iv))
            s->xres = iv;
        return matched;
    }
    if (match_option(c, "--height", &v)) {
        if (read_int(v, &iv))
            s->yres = iv;
        return matched;
    }
    if (match_option(c, "--depth", &v)) { o->color_bits = atoi_value(v); return matched; }
    if (match_option(c, "--zdepth", &v)) { o->depth_bits = atoi_value(v); return matched; }
    if (match_option(c, "--draw-fps", &v)) { o->draw_fps = atoi_value(v); return matched; }
    if (match_option(c, "--draw-time", &v)) { o->draw_time = atoi_value(v); return matched; }
    if (match_option(c, "--draw-ping", &v)) { o->draw_ping = atoi_value(v); return matched; }
    if (match_option(c, "--draw-render-stats", &v)) { o->draw_render_stats = atoi_value(v); return matched; }
    if (match_option(c, "--accurate-skip", nullptr)) { o->accurate_skip = 1; return matched; }
    if (match_option(c, "--track", &v)) {
        if (v)
            o->start_track = v;
        return matched;
    }
    if (match_option(c, "--connect", &v)) {
        if (v) {
            size_t n = strlen(connect_link_prefix);
            o->connect_address = strncmp(v, connect_link_prefix, n) == 0 ? v + n : v;
        }
        return matched;
    }
    if (match_option(c, "--password", &v)) {
        if (v)
            o->server_password = v;
        return matched;
    }
    if (match_option(c, "--chase-center", &v)) {
        if (!read_chase_center(v, &o->chase_center)) FAIL("--chase-center");
        return matched;
    }
    if (match_option(c, "--open-home", nullptr)) {
        home_open_in_browser();
        *status = 0;
        return failed;
    }
    if (match_option(c, "--glfinish", nullptr)) { o->glfinish = 1; return matched; }
    if (match_option(c, "--print-orientation", nullptr)) { o->print_orientation = 1; return matched; }
    return no_match;
#undef FAIL
}

int parse_command_line(int argc, char** argv, startup_options* o, game_settings* s)
{
    arg_cursor c = {argc - 1, argv + 1, false};
    while (c.remaining > 0) {
        int status = 0;
        option_result r = match_one(&c, o, s, &status);
        if (r == failed)
            return status;
        if (r == matched)
            continue;
        // A "--" may have been consumed while trying the value options.
        if (c.remaining <= 0)
            break;
        const char* arg = c.next[0];
        if (arg[0] == '-' && !c.options_ended) {
            fprintf(stderr, "bad option '%s'\n", arg);
            return 1;
        }
        if (o->file_argument) {
            fprintf(stderr, "Too many files!\n");
            return 1;
        }
        o->file_argument = arg;
        c.next++;
        c.remaining--;
    }
    return -1;
}
