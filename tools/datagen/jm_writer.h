// jm_writer.h -- ".jm" model building and writing for the data generator.
//
// Owns: an in-memory model (meshes of triangles with per-vertex positions,
// unit normals, texture coordinates and, for skinned models, one weight per
// bone), the text serialisation of the game's model files, and geometry
// helpers that append boxes, lathed solids (cylinders, rounded drums,
// spheres), discs and extruded outlines to a mesh with proper normals and
// texture coordinates.
// Promises: jm_serialise is deterministic (C-locale "%f"-style numbers,
// trailing zeros trimmed, no negative zero), writes version 0 (bare "V T"
// header, one mesh), version 1 ("JM1", any number of material meshes) or
// version 2 ("JM2", a bone count and a skeleton name, then one weight per
// bone after each vertex's texture coordinates).
// Texture coordinates are given as the image is seen: s from the left
// edge, t from the BOTTOM row up.  The file stores t that way and the
// game's loader turns it into GL's top-down t with 1 - t.
#pragma once

#include <string>
#include <vector>

#include "base/vec.h"

constexpr float jm_default_shininess = 32.0f;   // what version 0 files imply
constexpr float jm_self_lit = -2.0f;            // shininess value of self-lit meshes
constexpr float jm_env_mapped = -1.0f;          // shininess value of environment-mapped meshes

struct jm_vertex {
    vec3 pos;      // ft, model frame
    vec3 normal;   // unit length
    float s, t;    // texture coordinates, t counted from the image's bottom
};

struct jm_mesh {
    float shininess = jm_default_shininess;   // specular exponent, or jm_self_lit / jm_env_mapped
    float strength = 1.0f;                    // env / self-lit colour scale (4th colour component)
    float r = 1.0f, g = 1.0f, b = 1.0f;       // specular colour (lit) or emitted colour (self-lit)
    std::vector<jm_vertex> vertices;
    std::vector<float> weights;               // vertices.size() x bone count, skinned models only
    std::vector<int> triangles;               // 3 vertex indices per triangle, counter-clockwise
};

struct jm_model {
    int version = 1;                 // 0, 1 or 2
    int bone_count = 0;              // version 2 only
    std::string skeleton_name;       // version 2 only: one token, no white space
    std::vector<jm_mesh> meshes;
};

// Checks what the format can express: version 0 has exactly one mesh and no
// bones, version 1 no bones, version 2 a skeleton name and a full weight
// table; indices in range; finite numbers.  False with *why set.
bool jm_validate(const jm_model& model, std::string* why);

// The file text; an invalid model gives "" (validate first for the reason).
std::string jm_serialise(const jm_model& model);

// One number as the writer prints it ("%f", trailing zeros and "-0" removed).
std::string jm_number(float value);

// ---- geometry helpers; all append to a mesh and return the first new vertex index

struct jm_uv_rect {
    float s0, t0, s1, t1;   // texture rectangle: (s0, t0) bottom left, (s1, t1) top right
};

constexpr jm_uv_rect jm_uv_full = {0.0f, 0.0f, 1.0f, 1.0f};

// A flat quad p0 p1 p2 p3 (counter-clockwise seen from the front), mapped
// so p0 gets (s0, t0), p1 (s1, t0), p2 (s1, t1), p3 (s0, t1).
int jm_add_quad(jm_mesh& mesh, vec3 p0, vec3 p1, vec3 p2, vec3 p3, jm_uv_rect uv);

// An axis-aligned box; faces in the order -x +x -y +y -z +z, each mapped
// with its own rectangle as seen from outside, picture up being +y on the
// four side faces and -z on the top and bottom.
int jm_add_box(jm_mesh& mesh, vec3 lo, vec3 hi, const jm_uv_rect faces[6]);

// A point of a lathe profile: radius from the axis and height along it,
// with an optional normal in the (radial, axial) plane.
struct jm_profile_point {
    float radius;      // ft, >= 0
    float height;      // ft along the axis
    float nr = 0.0f;   // normal: radial part } both 0: taken from the
    float nh = 0.0f;   // normal: axial part  } profile's tangents
};

// A solid of revolution about the axis through base along unit axis dir,
// with `segments` steps around.  The profile is one smooth run: normals
// not given come from the profile's tangents (an end point on the axis
// gets a normal along the axis).  s runs around from uv.s0 to uv.s1, t
// along the profile by arc length from uv.t0 to uv.t1.
int jm_add_lathe(jm_mesh& mesh, vec3 base, vec3 dir, const jm_profile_point* profile,
                 int count, int segments, jm_uv_rect uv);

// A flat disc facing along unit normal n, mapped as a circle inscribed in uv.
int jm_add_disc(jm_mesh& mesh, vec3 centre, vec3 n, float radius, int segments, jm_uv_rect uv);

// An open-ended cylinder side (a lathe of two points), plus flat caps when asked.
int jm_add_cylinder(jm_mesh& mesh, vec3 base, vec3 dir, float radius, float length,
                    int segments, jm_uv_rect side, bool caps, jm_uv_rect cap);

// A sphere (a lathe of a half circle), `rings` steps from pole to pole.
int jm_add_sphere(jm_mesh& mesh, vec3 centre, float radius, int segments, int rings, jm_uv_rect uv);

// A closed drum: a cylinder of radius r and length l along dir whose two
// rims are rounded with radius e (e < r, 2e < l), with flat end caps.
// The side and rims share the side rectangle; both caps use the cap one.
int jm_add_rounded_drum(jm_mesh& mesh, vec3 base, vec3 dir, float r, float l, float e,
                        int segments, int rim_steps, jm_uv_rect side, jm_uv_rect cap);

// A simple polygon (x, y pairs, counter-clockwise, no holes) in the plane
// spanned by unit axes u and v at origin, extruded by depth along u x v.
// The back cap lies at origin, the front cap depth further; the caps are
// mapped by the outline's bounding box onto uv (the back one mirrored, so
// a picture reads the same way from both sides), the walls with s along
// the outline and t across the depth in `wall`.
int jm_add_extrusion(jm_mesh& mesh, vec3 origin, vec3 u, vec3 v, const float* outline,
                     int points, float depth, jm_uv_rect uv, jm_uv_rect wall);

// Axis-aligned bounds of every vertex of every mesh; false for an empty model.
bool jm_bounds(const jm_model& model, vec3* lo, vec3* hi);
int jm_triangle_count(const jm_model& model);
