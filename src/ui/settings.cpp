// settings.cpp -- setting defaults and the default graphics preset.
#include "ui/settings.h"

#include <cstring>

#include "base/text.h"
#include "platform/log.h"

game_settings settings;

const binding_default binding_defaults[binding_count] = {
    {"throttle_key", "Throttle", "x"},
    {"front_brake_key", "Front Brake", "c"},
    {"rear_brake_key", "Rear Brake", "v"},
    {"left_key", "Left", "left"},
    {"right_key", "Right", "right"},
    {"clutch_key", "Clutch", "z"},
    {"upshift_key", "Upshift", "up"},
    {"downshift_key", "Downshift", "down"},
    {"dab_key", "Sit/Dab", "right ctrl"},
    {"back_up_key", "Back up", "b"},
    {"lean_forward_key", "Lean Forward", "n"},
    {"lean_backward_key", "Lean Backward", "m"},
    {"pause_key", "Pause", "pause"},
    {"step_key", "Step", "."},
    {"rewind_key", "Rewind", "\\"},
    {"skip_key", "Skip", "/"},
    {"prev_key", "Previous Bike", "["},
    {"next_key", "Next Bike", "]"},
    {"console_key", "Chat", "t"},
    {"screenshot_key", "Screenshot", "s"},
};

void settings_apply_default_preset(game_settings* s)
{
    s->ground_detail = 70;
    s->ground_texture_dim = 2;   // "128x128"
    s->ground_mipmaps = 1;
    s->texture_compress = 1;
    s->render_texture = 3;       // "Shaders/Direct"
    s->ground_texture_detail = 9;
    s->use_shader = 1;
    s->model_detail = 50;
    s->model_texture_detail = 9;
    s->roost_density = 1000;
    s->lens_flare = 1;
    s->reflections = 1;
}

void settings_set_defaults(game_settings* s)
{
    memset(s, 0, sizeof *s);
    s->video_mode = 0;
    s->xres = 640;
    s->yres = 480;
    s->ground_detail = 50;
    s->ground_texture_detail = 9;
    s->ground_texture_dim = 2;
    s->ground_mipmaps = 1;
    s->texture_compress = 1;
    s->render_texture = 3;
    s->use_shader = 1;
    s->model_detail = 50;
    s->model_texture_detail = 9;
    s->roost_density = 250;
    s->lens_flare = 1;
    s->reflections = 1;
    s->fov = 110;
    s->third_person_height = 5;
    s->third_person_distance = 10;
    s->volume = 10;
    s->comp_volume = 8;
    s->skill = 0;
    s->minutes = 0;
    s->laps = 5;
    s->time_trial_abort = 1;
    for (int i = 0; i < binding_count; i++)
        text_copy(s->bindings[i], sizeof s->bindings[i], binding_defaults[i].control);
}

bool settings_read()
{
    log_printf("Configuration file support is not built yet: using default settings\n");
    return false;
}

bool settings_write() { return false; }
