// main.cpp -- vortrak-sim, the headless simulation tool.
//
// Runs parts of the simulation without a window, sound or input devices:
// the headless platform back end, the game's data roots (VK_HOME, else the
// directory of the executable) and a log of its own ("simlog.txt" in the
// home root unless KOBU_LOGFILE says otherwise).  One sub-command per
// source file; each returns the exit status.
#include <cstdio>
#include <cstring>

#include "base/text.h"
#include "data/file_index.h"
#include "data/paths.h"
#include "platform/headless.h"
#include "platform/log.h"
#include "platform/window.h"
#include "sim/race.h"
#include "sim/ride.h"

struct sim_command {
    const char* name;
    int (*run)(int argc, char** argv, FILE* out, FILE* err);
    const char* summary;
};
static const sim_command commands[] = {
    {"ride", sim_ride_main, "ride one bike on a track and print its motion"},
    {"race", sim_race_main, "set up a race and run it until it is decided"},
};

static int usage(FILE* err)
{
    fprintf(err, "usage: vortrak-sim COMMAND [OPTIONS]\ncommands:\n");
    for (const sim_command& c : commands)
        fprintf(err, "  %-8s %s\n", c.name, c.summary);
    return 1;
}

static void open_log()
{
    const char* home = data_root(0);
    if (!home)
        return;
    char name[path_max];
    make_parent_dirs(home);
    if (text_copy(name, sizeof name, "KOBU_LOGFILE=") && text_append(name, sizeof name, home) &&
        text_append(name, sizeof name, "simlog.txt"))
        log_printf("%s", name);
}

int main(int argc, char** argv)
{
    if (argc < 2)
        return usage(stderr);
    const sim_command* command = nullptr;
    for (const sim_command& c : commands)
        if (!std::strcmp(argv[1], c.name))
            command = &c;
    if (!command) {
        fprintf(stderr, "vortrak-sim: unknown command '%s'\n", argv[1]);
        return usage(stderr);
    }
    platform_install(&headless_window_ops);
    open_log();
    if (!game_data_check()) {
        fprintf(stderr, "vortrak-sim: can't find game data\n");
        log_printf(nullptr);
        return 1;
    }
    int status = command->run(argc - 2, argv + 2, stdout, stderr);
    log_printf(nullptr);
    return status;
}
