// vec.h -- the program's vector and rotation types.
//
// Vectors are three single-precision floats; rotations are 3x3 float
// matrices stored by rows, whose columns are the rotated frame's axes.
// ODE runs in double precision; values are converted at every ODE call.
#pragma once

#include <cmath>

struct vec3 {
    float x, y, z;
};

struct mat3 {
    float m[3][3];   // m[row][column]
};

inline vec3 vec3_add(vec3 a, vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline vec3 vec3_sub(vec3 a, vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline vec3 vec3_scale(vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline float vec3_dot(vec3 a, vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline vec3 vec3_cross(vec3 a, vec3 b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float vec3_length(vec3 a) { return std::sqrt(vec3_dot(a, a)); }

// Unit vector along a; a zero (or non-finite) vector gives the fallback.
inline vec3 vec3_normalize_or(vec3 a, vec3 fallback)
{
    float len = vec3_length(a);
    if (!(len > 1e-20f) || !std::isfinite(len))
        return fallback;
    return vec3_scale(a, 1.0f / len);
}

inline mat3 mat3_identity() { return {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}}; }

inline vec3 mat3_column(const mat3& r, int c) { return {r.m[0][c], r.m[1][c], r.m[2][c]}; }

// r * v: v taken in the rotated frame, returned in the outer frame.
inline vec3 mat3_apply(const mat3& r, vec3 v)
{
    return {r.m[0][0] * v.x + r.m[0][1] * v.y + r.m[0][2] * v.z,
            r.m[1][0] * v.x + r.m[1][1] * v.y + r.m[1][2] * v.z,
            r.m[2][0] * v.x + r.m[2][1] * v.y + r.m[2][2] * v.z};
}
