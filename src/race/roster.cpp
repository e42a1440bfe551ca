// roster.cpp -- the 80 robot riders and the bike name aliases.
//
// Numbers and bikes by number: 20-24 kx125, 25-29 yz125, 30-34 cr125,
// 35-39 rm125; 40-44 crf250, 45-49 kx250f, 50-53 rmz250, 54-58 yz250f,
// 59 yz250f_se(2006); 60-79 repeat 40-59; 80-84 crf250, 85-89 kx250f,
// 90-94 yz250f, 95-99 rmz250.  Personalities: 20-39 and 60-79 "slate",
// 40-59 "rook", 80-99 "flint".  Riding gear and helmets cycle through the
// three alternative skins (every fifth rider keeps the default gear, every
// seventh the default helmet) so a full grid looks varied; robots 23, 27,
// 31, 35 and all of 80-99 also ride their bike's "-alt1" or "-alt2" paint
// with the matching wheels.
#include "race/roster.h"

#include <cstring>

#define NONE nullptr
#define SLATE "slate"
#define ROOK "rook"
#define FLINT "flint"
#define B1 "@rider_body-alt1.png"
#define B2 "@rider_body-alt2.png"
#define B3 "@rider_body-alt3.png"
#define H1 "@rider_head-alt1.png"
#define H2 "@rider_head-alt2.png"
#define H3 "@rider_head-alt3.png"
// The paint variant of a bike's paint stem, with the wheels to match.
#define PAINT1(stem) "@" stem "alt1.png", "@wheels-alt1.png"
#define PAINT2(stem) "@" stem "alt2.png", "@wheels-alt2.png"

const robot_rider robot_roster[robot_roster_size] = {
    {"20", SLATE, "kx125", B1, H1, NONE, NONE},
    {"21", SLATE, "kx125", B2, H1, NONE, NONE},
    {"22", SLATE, "kx125", B3, H1, NONE, NONE},
    {"23", SLATE, "kx125", B1, H2, PAINT1("kx125-")},
    {"24", SLATE, "kx125", NONE, H2, NONE, NONE},
    {"25", SLATE, "yz125", B3, H2, NONE, NONE},
    {"26", SLATE, "yz125", B1, NONE, NONE, NONE},
    {"27", SLATE, "yz125", B2, H3, PAINT2("yz125-")},
    {"28", SLATE, "yz125", B3, H3, NONE, NONE},
    {"29", SLATE, "yz125", NONE, H1, NONE, NONE},
    {"30", SLATE, "cr125", B2, H1, NONE, NONE},
    {"31", SLATE, "cr125", B3, H1, PAINT1("cr125-")},
    {"32", SLATE, "cr125", B1, H2, NONE, NONE},
    {"33", SLATE, "cr125", B2, NONE, NONE, NONE},
    {"34", SLATE, "cr125", NONE, H2, NONE, NONE},
    {"35", SLATE, "rm125", B1, H3, PAINT2("rm125-")},
    {"36", SLATE, "rm125", B2, H3, NONE, NONE},
    {"37", SLATE, "rm125", B3, H3, NONE, NONE},
    {"38", SLATE, "rm125", B1, H1, NONE, NONE},
    {"39", SLATE, "rm125", NONE, H1, NONE, NONE},
    {"40", ROOK, "crf250", B3, NONE, NONE, NONE},
    {"41", ROOK, "crf250", B1, H2, NONE, NONE},
    {"42", ROOK, "crf250", B2, H2, NONE, NONE},
    {"43", ROOK, "crf250", B3, H2, NONE, NONE},
    {"44", ROOK, "crf250", NONE, H3, NONE, NONE},
    {"45", ROOK, "kx250f", B2, H3, NONE, NONE},
    {"46", ROOK, "kx250f", B3, H3, NONE, NONE},
    {"47", ROOK, "kx250f", B1, NONE, NONE, NONE},
    {"48", ROOK, "kx250f", B2, H1, NONE, NONE},
    {"49", ROOK, "kx250f", NONE, H1, NONE, NONE},
    {"50", ROOK, "rmz250", B1, H2, NONE, NONE},
    {"51", ROOK, "rmz250", B2, H2, NONE, NONE},
    {"52", ROOK, "rmz250", B3, H2, NONE, NONE},
    {"53", ROOK, "rmz250", B1, H3, NONE, NONE},
    {"54", ROOK, "yz250f", NONE, NONE, NONE, NONE},
    {"55", ROOK, "yz250f", B3, H3, NONE, NONE},
    {"56", ROOK, "yz250f", B1, H1, NONE, NONE},
    {"57", ROOK, "yz250f", B2, H1, NONE, NONE},
    {"58", ROOK, "yz250f", B3, H1, NONE, NONE},
    {"59", ROOK, "yz250f_se(2006)", NONE, H2, NONE, NONE},
    {"60", SLATE, "crf250", B2, H2, NONE, NONE},
    {"61", SLATE, "crf250", B3, NONE, NONE, NONE},
    {"62", SLATE, "crf250", B1, H3, NONE, NONE},
    {"63", SLATE, "crf250", B2, H3, NONE, NONE},
    {"64", SLATE, "crf250", NONE, H3, NONE, NONE},
    {"65", SLATE, "kx250f", B1, H1, NONE, NONE},
    {"66", SLATE, "kx250f", B2, H1, NONE, NONE},
    {"67", SLATE, "kx250f", B3, H1, NONE, NONE},
    {"68", SLATE, "kx250f", B1, NONE, NONE, NONE},
    {"69", SLATE, "kx250f", NONE, H2, NONE, NONE},
    {"70", SLATE, "rmz250", B3, H2, NONE, NONE},
    {"71", SLATE, "rmz250", B1, H3, NONE, NONE},
    {"72", SLATE, "rmz250", B2, H3, NONE, NONE},
    {"73", SLATE, "rmz250", B3, H3, NONE, NONE},
    {"74", SLATE, "yz250f", NONE, H1, NONE, NONE},
    {"75", SLATE, "yz250f", B2, NONE, NONE, NONE},
    {"76", SLATE, "yz250f", B3, H1, NONE, NONE},
    {"77", SLATE, "yz250f", B1, H2, NONE, NONE},
    {"78", SLATE, "yz250f", B2, H2, NONE, NONE},
    {"79", SLATE, "yz250f_se(2006)", NONE, H2, NONE, NONE},
    {"80", FLINT, "crf250", B1, H3, PAINT1("crf250-")},
    {"81", FLINT, "crf250", B2, H3, PAINT2("crf250-")},
    {"82", FLINT, "crf250", B3, NONE, PAINT1("crf250-")},
    {"83", FLINT, "crf250", B1, H1, PAINT2("crf250-")},
    {"84", FLINT, "crf250", NONE, H1, PAINT1("crf250-")},
    {"85", FLINT, "kx250f", B3, H1, PAINT2("kx250f-")},
    {"86", FLINT, "kx250f", B1, H2, PAINT1("kx250f-")},
    {"87", FLINT, "kx250f", B2, H2, PAINT2("kx250f-")},
    {"88", FLINT, "kx250f", B3, H2, PAINT1("kx250f-")},
    {"89", FLINT, "kx250f", NONE, NONE, PAINT2("kx250f-")},
    {"90", FLINT, "yz250f", B2, H3, PAINT1("yz250f-")},
    {"91", FLINT, "yz250f", B3, H3, PAINT2("yz250f-")},
    {"92", FLINT, "yz250f", B1, H1, PAINT1("yz250f-")},
    {"93", FLINT, "yz250f", B2, H1, PAINT2("yz250f-")},
    {"94", FLINT, "yz250f", NONE, H1, PAINT1("yz250f-")},
    {"95", FLINT, "rmz250", B1, H2, PAINT2("rmz250-")},
    {"96", FLINT, "rmz250", B2, NONE, PAINT1("rmz250-")},
    {"97", FLINT, "rmz250", B3, H2, PAINT2("rmz250-")},
    {"98", FLINT, "rmz250", B1, H3, PAINT1("rmz250-")},
    {"99", FLINT, "rmz250", NONE, H3, PAINT2("rmz250-")},
};

#undef NONE
#undef SLATE
#undef ROOK
#undef FLINT
#undef B1
#undef B2
#undef B3
#undef H1
#undef H2
#undef H3
#undef PAINT1
#undef PAINT2

struct bike_alias_entry {
    const char* from;
    const char* to;
};
static const bike_alias_entry bike_aliases[] = {
    {"crf250", "crf250(2008)"},
    {"kx250f", "kx250f(2008)"},
    {"rmz250", "rmz250(2008)"},
    {"yz250f", "yz250f(2008)"},
};

const char* bike_alias(const char* name)
{
    if (!name)
        return name;
    for (const bike_alias_entry& a : bike_aliases)
        if (!std::strcmp(name, a.from))
            return a.to;
    return name;
}

int roster_find_number(const char* text)
{
    if (!text)
        return -1;
    for (int i = 0; i < robot_roster_size; i++)
        if (!std::strcmp(robot_roster[i].number, text))
            return i;
    return -1;
}
