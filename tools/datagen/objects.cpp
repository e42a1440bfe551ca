// objects.cpp -- track-side object models, their textures and shapes.
//
// Owns the staged files "objects/haybale.{jm,png,shp}",
// "objects/banner.{jm,png,shp}", "objects/marker.{jm,png}" and the
// starting-gate bar "startgate.jm" + "startgate.ppm", all below
// ctx.stage_dir + "/zzzz/" so the shared archive packs them.  The billboard
// and flagger sprites come from objects_sprites.cpp.  Needs jm_writer.h,
// paint.h and data/image.h (PNG and PPM encoding).
//
// Model frames (feet): y up, the object's base on y = 0 (the ground), its
// front facing +z, centred on x = 0 unless said otherwise.
// - haybale: a round bale lying on its side, axis along x, 4 ft across and
//   4 ft long: x -2..2, y 0..4, z -2..2.
// - banner: poles at x = +-5, 8.3 ft tall; the cloth 9.8 x 2.45 ft hangs
//   from y 5 to 7.45 and reads "VORTRAK" from both sides.
// - marker: a 4 ft pole of radius 0.05 ft with a pennant along +x.
// - startgate: one rider's gate bar, 5 ft wide (x -2.5..2.5), hinged on the
//   x axis through the origin.  The rider waits on the +z side facing -z,
//   and the bar runs back from the hinge toward that rider (z 0..2.9).  At
//   identity (drop angle 0: dropped) it lies flat on the ground under the
//   front of the bike; the raised bar is this model turned about x so its
//   free edge rises: v -> (x, y cos p + z sin p, -y sin p + z cos p),
//   p = 3 pi / 16 at drop angle 1, leaving the free edge about 1.6 ft up
//   just ahead of the front tyre, leaning toward the rider.
// Shapes are spheres in the same frames.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "datagen.h"
#include "jm_writer.h"
#include "paint.h"

bool datagen_object_sprites(const std::string& dir);   // objects_sprites.cpp

constexpr uint32_t seed_haybale = 0x4a1ba1e;
constexpr uint32_t seed_banner = 0xba22e2;
constexpr uint32_t seed_marker = 0x3a2ce2;
constexpr uint32_t seed_gate = 0x6a7e;

constexpr float bale_radius = 2.0f;        // ft
constexpr float bale_length = 4.0f;        // ft, along x
constexpr float bale_rim = 0.35f;          // ft, rounding of the rims
constexpr float banner_half_span = 5.0f;   // ft, pole x
constexpr float banner_pole_height = 8.0f;
constexpr float banner_pole_radius = 0.1f;
constexpr float banner_cloth_lo = 5.0f, banner_cloth_hi = 7.45f;   // ft, cloth y range
constexpr float marker_height = 4.0f;
constexpr float marker_radius = 0.05f;
constexpr float gate_half_width = 2.5f;    // ft
constexpr float gate_length = 2.9f;        // ft, hinge to free edge (along +z)
constexpr float gate_thickness = 0.08f;
constexpr float gate_hinge_radius = 0.1f;

// ---- shared writers

struct shape_sphere_spec {
    vec3 centre;       // ft, model frame
    float radius;      // ft
    float mu;          // friction coefficient
    float stiffness;   // lbf/ft
    float damping;     // lbf s/ft
};

static std::string shape_text(const std::vector<shape_sphere_spec>& spheres)
{
    std::string out = std::to_string(spheres.size()) + "\n";
    for (const shape_sphere_spec& s : spheres)
        out += jm_number(s.centre.x) + " " + jm_number(s.centre.y) + " " + jm_number(s.centre.z) + " " +
               jm_number(s.radius) + " " + jm_number(s.mu) + " " + jm_number(s.stiffness) + " " +
               jm_number(s.damping) + "\n";
    return out;
}

static bool write_model(const std::string& dir, const std::string& name, const jm_model& model)
{
    std::string why;
    if (!jm_validate(model, &why)) {
        fprintf(stderr, "datagen: model %s: %s\n", name.c_str(), why.c_str());
        return false;
    }
    return datagen_write(dir, name, jm_serialise(model));
}

static bool write_png(const std::string& dir, const std::string& name, const canvas& c, bool alpha)
{
    std::string bytes = canvas_png(c, alpha);
    if (bytes.empty()) {
        fprintf(stderr, "datagen: can't encode %s\n", name.c_str());
        return false;
    }
    return datagen_write(dir, name, bytes);
}

static bool write_ppm(const std::string& dir, const std::string& name, const canvas& c)
{
    std::string path = dir + "/" + name;
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    image img{};
    canvas_to_image(c, false, &img);
    bool ok = ppm_write(path.c_str(), img);
    image_free(&img);
    if (!ok)
        fprintf(stderr, "datagen: can't write %s\n", path.c_str());
    return ok;
}

static jm_mesh material(float shininess, float specular)
{
    jm_mesh m;
    m.shininess = shininess;
    m.r = m.g = m.b = specular;
    return m;
}

// Texture y (pixels, top down) of a model t (bottom up) on a canvas of height h.
static float row_of(float t, int h) { return (1.0f - t) * static_cast<float>(h); }

// ---- haybale

// Top half: the rolled side, fibres running around the bale (along s) with
// two twine bands; bottom-left quarter: the end, a spiral of rolled straw.
static canvas haybale_texture()
{
    const int w = 256, h = 256;
    paint_colour straw = paint_rgb(196, 160, 82);
    canvas c = canvas_make(w, h, straw);
    paint_noise n = paint_noise_make(seed_haybale);
    for (int y = 0; y < h / 2; y++)   // side: streaky base tone, tiling in s
        for (int x = 0; x < w; x++) {
            float v = paint_fbm(n, x / 32.0f, y / 4.0f, 8, 4);
            paint_pixel(c, x, y, paint_mix(paint_rgb(150, 115, 52), paint_rgb(226, 196, 120), v));
        }
    paint_random r = paint_random_make(seed_haybale);
    for (int i = 0; i < 1400; i++) {   // fibres, drawn twice across the seam so s wraps
        float x = paint_random_range(r, 0.0f, w), y = paint_random_range(r, 2.0f, h / 2 - 2.0f);
        float len = paint_random_range(r, 8.0f, 34.0f), tilt = paint_random_range(r, -0.12f, 0.12f);
        float width = paint_random_range(r, 0.6f, 1.5f);
        paint_colour col = paint_mix(paint_rgb(120, 88, 36), paint_rgb(245, 222, 150), paint_random_unit(r));
        col.a = 0.75f;
        for (float shift : {-static_cast<float>(w), 0.0f, static_cast<float>(w)})
            paint_mask_line(c, x + shift, y, x + shift + len, y + len * tilt, width);
        paint_mask_fill(c, col);
    }
    for (float band : {0.62f, 0.88f}) {   // twine bands around the bale
        float y = row_of(band, h);
        paint_rect(c, 0, y - 1.5f, w, y + 1.5f, paint_rgb(236, 232, 214));
        paint_rect(c, 0, y + 1.5f, w, y + 2.5f, paint_rgb(110, 84, 40, 0.6f));
    }
    // End: spiral bands inside the circle inscribed in the bottom-left quarter.
    const float cx = 64.0f, cy = 192.0f, rad = 64.0f, turns = 9.0f;
    for (int y = h / 2; y < h; y++)
        for (int x = 0; x < w / 2; x++) {
            float dx = x + 0.5f - cx, dy = y + 0.5f - cy, d = std::sqrt(dx * dx + dy * dy);
            float phase = d / rad * turns - std::atan2(dy, dx) / 6.2831853f;
            float band = 0.5f + 0.5f * std::cos(phase * 6.2831853f);
            float grain = paint_fbm(n, x / 6.0f, y / 6.0f, 64, 3);
            paint_colour col = paint_mix(paint_rgb(140, 104, 44), paint_rgb(222, 190, 110), 0.55f * band + 0.45f * grain);
            if (d < 5.0f)
                col = paint_mix(col, paint_rgb(110, 80, 34), 1.0f - d / 5.0f);
            paint_pixel(c, x, y, col);
        }
    for (int y = h / 2; y < h; y++)   // bottom-right quarter (unused): plain straw
        for (int x = w / 2; x < w; x++)
            paint_pixel(c, x, y, paint_mix(straw, paint_rgb(170, 136, 66), paint_fbm(n, x / 8.0f, y / 8.0f, 32, 3)));
    return c;
}

static jm_model haybale_model()
{
    jm_model m;
    jm_mesh mesh = material(4.0f, 0.05f);
    jm_add_rounded_drum(mesh, {-0.5f * bale_length, bale_radius, 0.0f}, {1.0f, 0.0f, 0.0f}, bale_radius, bale_length,
                        bale_rim, 28, 4, {0.0f, 0.5f, 1.0f, 1.0f}, {0.0f, 0.0f, 0.5f, 0.5f});
    m.meshes.push_back(mesh);
    return m;
}

// Three rings of eight spheres around the axis, each ring with one more on
// the axis for the flat ends: never outside the drum, at most 0.3 ft
// inside its surface.
static std::vector<shape_sphere_spec> haybale_shape()
{
    std::vector<shape_sphere_spec> s;
    const float rad = 1.0f, ring = bale_radius - rad;
    for (float x : {-1.0f, 0.0f, 1.0f}) {
        s.push_back({{x, bale_radius, 0.0f}, rad, 0.8f, 8000.0f, 800.0f});
        for (int k = 0; k < 8; k++) {
            float a = 6.2831853f * static_cast<float>(k) / 8.0f;
            s.push_back({{x, bale_radius + ring * std::sin(a), ring * std::cos(a)}, rad, 0.8f, 8000.0f, 800.0f});
        }
    }
    return s;
}

// ---- banner

// Top half: the cloth (s across, t up); bottom-left quarter: the poles'
// paint; bottom-right quarter: the cloth's hem colour for its edges.
static canvas banner_texture()
{
    const int w = 512, h = 256;
    paint_colour red = paint_rgb(206, 36, 28), dark = paint_rgb(24, 24, 36), white = paint_rgb(250, 250, 246);
    canvas c = canvas_make(w, h, red);
    paint_noise n = paint_noise_make(seed_banner);
    for (int y = 0; y < 128; y++)   // cloth: red with a vertical shade and weave noise
        for (int x = 0; x < w; x++) {
            float shade = 0.9f + 0.1f * std::sin(y / 127.0f * 3.14159f) + 0.06f * (paint_noise_at(n, x / 2.0f, y / 2.0f, 256) - 0.5f);
            paint_pixel(c, x, y, {red.r * shade, red.g * shade, red.b * shade, 1.0f});
        }
    paint_rect(c, 0, 0, w, 12, dark);   // hems top and bottom
    paint_rect(c, 0, 116, w, 128, dark);
    paint_rect(c, 0, 14, w, 18, white);
    paint_rect(c, 0, 110, w, 114, white);
    for (int side = 0; side < 2; side++)   // chequered blocks at both ends
        for (int row = 0; row < 6; row++)
            for (int col = 0; col < 3; col++)
                if ((row + col) % 2 == 0) {
                    float x0 = side ? w - 58.0f + col * 14.0f : 16.0f + col * 14.0f, y0 = 22.0f + row * 14.0f;
                    paint_mask_rect(c, x0, y0, x0 + 14.0f, y0 + 14.0f);
                }
    paint_mask_fill(c, white);
    for (int side = 0; side < 2; side++)
        for (int row = 0; row < 6; row++)
            for (int col = 0; col < 3; col++)
                if ((row + col) % 2 == 1) {
                    float x0 = side ? w - 58.0f + col * 14.0f : 16.0f + col * 14.0f, y0 = 22.0f + row * 14.0f;
                    paint_mask_rect(c, x0, y0, x0 + 14.0f, y0 + 14.0f);
                }
    paint_mask_fill(c, dark);
    const char* word = "VORTRAK";
    float scale = 8.5f, tw = paint_text_width(word, scale), tx = 0.5f * (w - tw), ty = 64.0f - 3.5f * scale;
    paint_text(c, word, tx + 4.0f, ty + 4.0f, scale, paint_rgb(60, 8, 8, 0.8f));   // drop shadow
    paint_text(c, word, tx, ty, scale, white);
    for (int y = 128; y < h; y++)   // pole paint: white with faint streaks; hem: dark
        for (int x = 0; x < w; x++) {
            float v = paint_fbm(n, x / 64.0f, y / 3.0f, 4, 3);
            paint_pixel(c, x, y, x < w / 2 ? paint_mix(paint_rgb(196, 198, 204), white, v) : paint_mix(dark, red, 0.15f * v));
        }
    return c;
}

static jm_model banner_model()
{
    jm_model m;
    jm_mesh cloth = material(8.0f, 0.1f), poles = material(40.0f, 0.6f);
    jm_uv_rect edge = {0.55f, 0.05f, 0.95f, 0.45f}, face = {0.0f, 0.5f, 1.0f, 1.0f};
    const jm_uv_rect faces[6] = {edge, edge, edge, edge, face, face};
    float inner = banner_half_span - banner_pole_radius;
    jm_add_box(cloth, {-inner, banner_cloth_lo, -0.03f}, {inner, banner_cloth_hi, 0.03f}, faces);
    jm_uv_rect paint = {0.0f, 0.0f, 0.5f, 0.5f};
    for (float x : {-banner_half_span, banner_half_span}) {
        jm_add_cylinder(poles, {x, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, banner_pole_radius, banner_pole_height, 12, paint,
                        false, paint);
        jm_add_sphere(poles, {x, banner_pole_height + 0.1f, 0.0f}, 0.17f, 12, 6, paint);
    }
    m.meshes.push_back(cloth);
    m.meshes.push_back(poles);
    return m;
}

// The poles as stacks of spheres; the cloth as two rows of spheres
// (a rider standing up under it meets the lower row).
static std::vector<shape_sphere_spec> banner_shape()
{
    std::vector<shape_sphere_spec> s;
    for (float x : {-banner_half_span, banner_half_span})
        for (int k = 0; k < 16; k++)
            s.push_back({{x, 0.25f + 0.5f * k, 0.0f}, 0.25f, 0.4f, 25000.0f, 2500.0f});
    for (float y : {5.6f, 6.85f})
        for (int k = 0; k < 11; k++)
            s.push_back({{-4.5f + 0.9f * k, y, 0.0f}, 0.6f, 0.6f, 4000.0f, 400.0f});
    return s;
}

// ---- marker

// Left half: the pole's orange and white bands (t up the pole); right
// half: the pennant.
static canvas marker_texture()
{
    const int w = 128, h = 128;
    paint_colour orange = paint_rgb(255, 110, 10), white = paint_rgb(248, 248, 244);
    canvas c = canvas_make(w, h, white);
    for (int band = 0; band < 8; band++)
        paint_rect(c, 0, band * 16.0f, 64, band * 16.0f + 16.0f, band % 2 ? white : orange);
    paint_rect(c, 64, 0, 128, 128, orange);
    paint_rect(c, 64, 0, 128, 8, paint_rgb(30, 30, 30));
    paint_rect(c, 64, 120, 128, 128, paint_rgb(30, 30, 30));
    paint_noise n = paint_noise_make(seed_marker);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            paint_pixel(c, x, y, {0.0f, 0.0f, 0.0f, 0.08f * paint_noise_at(n, x / 4.0f, y / 4.0f, 32)});
    return c;
}

static jm_model marker_model()
{
    jm_model m;
    jm_mesh mesh = material(16.0f, 0.3f);
    jm_add_cylinder(mesh, {0.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, marker_radius, marker_height, 8,
                    {0.0f, 0.0f, 0.5f, 1.0f}, true, {0.0f, 0.9f, 0.1f, 1.0f});
    const float pennant[6] = {marker_radius, marker_height - 0.55f, 0.85f, marker_height - 0.3f, marker_radius,
                              marker_height - 0.05f};
    jm_add_extrusion(mesh, {0.0f, 0.0f, -0.01f}, {1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, pennant, 3, 0.02f,
                     {0.5f, 0.0f, 1.0f, 1.0f}, {0.5f, 0.0f, 1.0f, 0.1f});
    m.meshes.push_back(mesh);
    return m;
}

// ---- starting gate

// Top half: the bar's upper face as the waiting rider sees it (picture up =
// the free edge); bottom-left quarter: bare steel; bottom-right: the hinge.
static canvas gate_texture()
{
    const int w = 256, h = 256;
    paint_colour blue = paint_rgb(28, 70, 160), steel = paint_rgb(150, 154, 160);
    paint_colour yellow = paint_rgb(250, 200, 20), black = paint_rgb(20, 20, 20);
    canvas c = canvas_make(w, h, steel);
    paint_noise n = paint_noise_make(seed_gate);
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < w; x++) {
            float v = 0.92f + 0.1f * paint_fbm(n, x / 16.0f, y / 16.0f, 16, 3);
            paint_pixel(c, x, y, {blue.r * v, blue.g * v, blue.b * v, 1.0f});
        }
    // Hazard stripes along the free edge (top rows).
    paint_rect(c, 0, 0, w, 22, yellow);
    for (int k = -2; k < 20; k++) {
        float x = k * 16.0f;
        const float stripe[8] = {x, 22, x + 8, 22, x + 30, 0, x + 22, 0};
        paint_mask_polygon(c, stripe, 4);
    }
    paint_mask_fill(c, black);
    paint_rect(c, 0, 22, w, 24, black);
    const char* word = "VORTRAK";
    float scale = 5.0f, tw = paint_text_width(word, scale);
    paint_text(c, word, 0.5f * (w - tw), 58.0f, scale, paint_rgb(245, 245, 245));
    for (int k = 0; k < 8; k++) {   // rivets along the hinge edge and the sides
        paint_ellipse(c, 16.0f + k * 32.0f, 120.0f, 2.5f, 2.5f, paint_rgb(200, 205, 215));
        paint_ellipse(c, 16.0f + k * 32.0f, 120.6f, 1.2f, 1.2f, paint_rgb(90, 92, 100));
    }
    for (int y = 128; y < h; y++)   // bare steel and the hinge: brushed grey
        for (int x = 0; x < w; x++) {
            float v = paint_fbm(n, x / 2.0f, y / 24.0f, 128, 3);
            paint_colour base = x < w / 2 ? steel : paint_rgb(110, 112, 118);
            paint_pixel(c, x, y, paint_mix(base, paint_rgb(200, 204, 210), 0.35f * v));
        }
    return c;
}

static jm_model gate_model()
{
    jm_model m;
    jm_mesh mesh = material(24.0f, 0.4f);
    jm_uv_rect steel = {0.02f, 0.02f, 0.48f, 0.48f}, top = {0.0f, 0.5f, 1.0f, 1.0f};
    const jm_uv_rect faces[6] = {steel, steel, steel, top, steel, steel};
    // The box builds its faces outward from its corners, so the bar behind
    // the hinge keeps its winding.
    jm_add_box(mesh, {-gate_half_width, 0.0f, 0.0f}, {gate_half_width, gate_thickness, gate_length}, faces);
    jm_uv_rect hinge = {0.52f, 0.02f, 0.98f, 0.48f};
    jm_add_cylinder(mesh, {-gate_half_width, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, gate_hinge_radius, 2.0f * gate_half_width,
                    12, hinge, true, hinge);
    jm_add_cylinder(mesh, {-gate_half_width, 0.5f * gate_thickness, gate_length}, {1.0f, 0.0f, 0.0f},
                    0.6f * gate_thickness, 2.0f * gate_half_width, 10, steel, true, steel);
    m.meshes.push_back(mesh);
    return m;
}

bool datagen_objects(const datagen_context& ctx)
{
    std::string dir = ctx.stage_dir + "/zzzz";
    return write_model(dir, "objects/haybale.jm", haybale_model()) &&
           write_png(dir, "objects/haybale.png", haybale_texture(), false) &&
           datagen_write(dir, "objects/haybale.shp", shape_text(haybale_shape())) &&
           write_model(dir, "objects/banner.jm", banner_model()) &&
           write_png(dir, "objects/banner.png", banner_texture(), false) &&
           datagen_write(dir, "objects/banner.shp", shape_text(banner_shape())) &&
           write_model(dir, "objects/marker.jm", marker_model()) &&
           write_png(dir, "objects/marker.png", marker_texture(), false) &&
           write_model(dir, "startgate.jm", gate_model()) && write_ppm(dir, "startgate.ppm", gate_texture()) &&
           datagen_object_sprites(dir);
}
