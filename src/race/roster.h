// roster.h -- the built-in robot riders and the bike name aliases.
//
// Owns: the read-only table of 80 robots (race numbers "20" to "99" in
// table order), each with a personality for the line-following driver, a
// bike name and the skins it wears, and the alias table every bike name
// passes through just before a bike is created.  Needs nothing.
// Promises: the table never changes at run time; a null skin means the
// bike model's own texture.
#pragma once

#include "race/race_state.h"

struct robot_rider {
    const char* number;        // race number text, "20" .. "99"
    const char* personality;   // "slate", "rook" or "flint"
    const char* bike;          // bike name before aliasing, e.g. "crf250"
    const char* body_skin;     // riding gear texture data name, null = default
    const char* head_skin;     // helmet texture, null = default
    const char* bike_skin;     // paint texture, null = default
    const char* wheel_skin;    // wheel texture, null = default
};

extern const robot_rider robot_roster[robot_roster_size];

// The name a bike is created under: "crf250" -> "crf250(2008)",
// "kx250f" -> "kx250f(2008)", "rmz250" -> "rmz250(2008)", "yz250f" ->
// "yz250f(2008)"; any other name (null included) is returned unchanged.
const char* bike_alias(const char* name);

// Index of the robot whose number text is exactly text, or -1.
int roster_find_number(const char* text);
