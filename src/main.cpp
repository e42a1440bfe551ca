// main.cpp -- the game executable: the SDL2 back ends, then the game.
#include "core/game.h"
#include "core/main_loop.h"
#include "platform/log.h"
#include "platform/sdl/sdl_platform.h"

static void print_message(const char* text) { log_printf("%s\n", text); }

static void take_screenshot() { screenshot_take(print_message); }

int main(int argc, char** argv)
{
    sdl_platform_install();
    hooks.screenshot = take_screenshot;
    return game_main(argc, argv, &sdl_window_ops);
}
