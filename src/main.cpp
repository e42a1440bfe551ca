// main.cpp -- the game executable.
#include "core/game.h"
#include "platform/window.h"

int main(int argc, char** argv) { return game_main(argc, argv, platform_current()); }
