// ride_command.cpp -- the command line of "vortrak-sim ride".
//
// Every option is checked before anything is loaded; a bad value names
// the option and what it wanted, and the command ends with status 1.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "base/tick.h"
#include "sim/ride.h"

static const char* const ride_usage =
    "usage: vortrak-sim ride --track NAME --bike MODEL [--at X,Z] [--heading H] [--seconds S]\n"
    "         [--inputs FILE] [--throttle V] [--steer V] [--front-brake V] [--rear-brake V]\n"
    "         [--clutch V] [--lean V] [--dab V] [--auto-shift] [--arcade yes|no] [--every N]\n"
    "  Rides one bike from the first starting gate (or X,Z in feet, facing H radians)\n"
    "  and prints every N ticks (default 128) time, speed (ft/s), frame position,\n"
    "  heading, lean (rad), gear (1 = first), engine rpm and whether the rider is down.\n";

static bool parse_float(const char* text, float* out)
{
    char* end = nullptr;
    double v = std::strtod(text, &end);
    if (end == text || *end || !std::isfinite(v))
        return false;
    *out = static_cast<float>(v);
    return true;
}

static bool parse_pair(const char* text, float* a, float* b)
{
    const char* comma = std::strchr(text, ',');
    if (!comma)
        return false;
    char first[64];
    size_t n = size_t(comma - text);
    if (n == 0 || n >= sizeof first)
        return false;
    std::memcpy(first, text, n);
    first[n] = 0;
    return parse_float(first, a) && parse_float(comma + 1, b);
}

struct control_flag {
    const char* name;
    float bike_controls::*field;
    float lo, hi;
};
static const control_flag control_flags[] = {
    {"--throttle", &bike_controls::throttle, 0, 1},   {"--steer", &bike_controls::steer, -1, 1},
    {"--front-brake", &bike_controls::front_brake, 0, 1}, {"--rear-brake", &bike_controls::rear_brake, 0, 1},
    {"--clutch", &bike_controls::clutch, 0, 1},       {"--lean", &bike_controls::lean, -1, 1},
    {"--dab", &bike_controls::sit_dab, 0, 1},
};

static bool takes_value(const char* a)
{
    static const char* const named[] = {"--track", "--bike", "--inputs", "--at", "--heading", "--seconds",
                                        "--every", "--arcade"};
    for (const char* n : named)
        if (!std::strcmp(a, n))
            return true;
    for (const control_flag& c : control_flags)
        if (!std::strcmp(a, c.name))
            return true;
    return false;
}

static int fail(FILE* err, const char* what, const char* detail)
{
    fprintf(err, "vortrak-sim ride: %s%s\n%s", what, detail, ride_usage);
    return 1;
}

// Parses argv (after "ride"); 0 when good, else the exit status.
static int parse(int argc, char** argv, ride_options* o, FILE* err)
{
    for (int i = 0; i < argc; i++) {
        const char* a = argv[i];
        if (!std::strcmp(a, "--auto-shift")) {
            o->auto_shift = true;
            continue;
        }
        if (!std::strcmp(a, "--help"))
            return fail(err, "", "");
        if (!takes_value(a))
            return fail(err, "unknown option ", a);
        if (i + 1 >= argc)
            return fail(err, a, " needs a value");
        const char* v = argv[++i];
        float f = 0;
        const control_flag* cf = nullptr;
        for (const control_flag& c : control_flags)
            if (!std::strcmp(a, c.name))
                cf = &c;
        if (cf) {
            if (!parse_float(v, &f) || f < cf->lo || f > cf->hi)
                return fail(err, a, cf->lo < 0 ? " wants a number from -1 to 1" : " wants a number from 0 to 1");
            o->constant.*cf->field = f;
        } else if (!std::strcmp(a, "--track")) {
            o->track = v;
        } else if (!std::strcmp(a, "--bike")) {
            o->bike = v;
        } else if (!std::strcmp(a, "--inputs")) {
            o->inputs = v;
        } else if (!std::strcmp(a, "--at")) {
            if (!parse_pair(v, &o->at_x, &o->at_z))
                return fail(err, a, " wants X,Z in feet");
            o->at_given = true;
        } else if (!std::strcmp(a, "--heading")) {
            if (!parse_float(v, &o->heading))
                return fail(err, a, " wants an angle in radians");
            o->heading_given = true;
        } else if (!std::strcmp(a, "--seconds")) {
            if (!parse_float(v, &f) || f < 0 || f > ride_max_seconds)
                return fail(err, a, " wants seconds from 0 to 86400");
            o->seconds = f;
        } else if (!std::strcmp(a, "--every")) {
            char* end = nullptr;
            long n = std::strtol(v, &end, 10);
            if (end == v || *end || n < 1 || n > 1000000)
                return fail(err, a, " wants a tick count from 1 to 1000000");
            o->every = static_cast<int>(n);
        } else if (!std::strcmp(a, "--arcade")) {
            if (!std::strcmp(v, "yes"))
                o->arcade = 1;
            else if (!std::strcmp(v, "no"))
                o->arcade = 0;
            else
                return fail(err, a, " wants yes or no");
        }
    }
    if (!o->track)
        return fail(err, "--track", " is required");
    if (!o->bike)
        return fail(err, "--bike", " is required");
    return 0;
}

int sim_ride_main(int argc, char** argv, FILE* out, FILE* err)
{
    ride_options o;
    ride_options_defaults(&o);
    if (int status = parse(argc, argv, &o, err))
        return status;
    ride_session s;
    char message[512];
    if (!ride_open(&s, o, message, sizeof message)) {
        fprintf(err, "vortrak-sim ride: %s\n", message);
        return 1;
    }
    long ticks = std::lround(o.seconds / tick_period);
    char line[256];
    for (long t = 0;; t++) {
        if (t % o.every == 0) {
            ride_report(&s, line, sizeof line);
            fprintf(out, "%s\n", line);
        }
        if (t >= ticks)
            break;
        ride_tick(&s);
    }
    ride_close(&s);
    return 0;
}
