// game.cpp -- start-up in its fixed order, and the shutdown sequence.
//
// Steps that belong to modules not built yet (configuration file, points
// series, GL set-up, fonts, demos, audio) are logged and passed over; each
// becomes a call into its module as it lands.  The physics world, the
// collision shapes of the track objects, race setup and the simulation
// tick are wired here.
#include "core/game.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/text.h"
#include "base/tick.h"
#include "base/xmalloc.h"
#include "bike/catalogue.h"
#include "bike/physics_world.h"
#include "bike/rider_control.h"
#include "bike/shape.h"
#include "core/main_loop.h"
#include "core/race_setup.h"
#include "core/tick.h"
#include "core/startup_options.h"
#include "data/file_index.h"
#include "data/paths.h"
#include "platform/input.h"
#include "platform/log.h"
#include "platform/sound.h"
#include "platform/window.h"
#include "race/race_state.h"
#include "race/rules.h"
#include "race/standings.h"
#include "terrain/height_field.h"
#include "terrain/track.h"
#include "ui/settings.h"

track_list tracks;
demo_list demos;
int selected_track = -1;
bool fixed_files_ok = true;

constexpr const char* window_title = "Vortrak";
constexpr const char* default_track = "rabbithill";
constexpr int drawable_polls = 162;          // 1/16 s apart: about ten seconds
constexpr double drawable_poll_period = 1.0 / 16;
constexpr int record_audio_rate = 88320;     // samples per second of "--record-audio"
constexpr int startup_laps = 1000;           // the race behind the opening menu never ends

static kobu_window* game_window = nullptr;

static const char* const menu_key_names[menu_key_count] = {
    "up", "down", "left", "right", "enter", "keypad enter", "esc", "pause",
    "cursor-left", "cursor-right", "page up", "page down",
};

// Riding rows: the configuration key's binding index, control value, sign.
struct riding_row_def {
    const char* key;
    int control;
    float sign;
};
static const riding_row_def riding_rows[riding_row_count] = {
    {"left_key", control_steer, +1},          {"right_key", control_steer, -1},
    {"throttle_key", control_throttle, +1},   {"front_brake_key", control_front_brake, +1},
    {"rear_brake_key", control_rear_brake, +1}, {"upshift_key", control_shift, +1},
    {"downshift_key", control_shift, -1},     {"clutch_key", control_clutch, +1},
    {"dab_key", control_dab, +1},             {"back_up_key", control_back_up, +1},
    {"lean_forward_key", control_lean, -1},   {"lean_backward_key", control_lean, +1},
};
static const char* const single_keys[single_binding_count] = {
    "pause_key", "step_key", "rewind_key", "skip_key", "prev_key", "next_key",
    "console_key", "screenshot_key",
};

// The fatal exit on exhausted memory: window closed, box shown, status 1.
[[noreturn]] static void memory_exhausted()
{
    static bool inside = false;
    if (!inside) {
        inside = true;
        audio_close();
        if (game_window)
            window_close(game_window);
        game_window = nullptr;
        fatal_box("Error", "Out of virtual memory");
    }
    exit(1);
}

// ---- the loop's race hooks -------------------------------------------------

static bike* slot_bike(int slot) { return slot >= 0 && slot < max_slots ? race.bikes[slot] : nullptr; }

static void apply_rider_controls(int slot, const rider_controls& c)
{
    bike* b = slot_bike(slot);
    if (!b)
        return;
    bike_controls bc = {c.steer, c.throttle, c.front_brake, c.rear_brake, c.shift,
                        c.clutch, c.dab, c.back_up, c.lean};
    apply_controls(b, bc);
}

static float clutch_of(int slot)
{
    bike* b = slot_bike(slot);
    return b ? b->clutch : 1.0f;
}

static bool reverse_steering_on(int) { return player_setup.reverse_steering == setup_yes; }
static bool time_trial_on() { return race.time_trial; }

static bool warp_leader_done()
{
    bike* leader = standings_leader();
    return leader && lap_count(leader) >= race.race_laps;
}

// Under "--warp" the next race starts with the lineup rotated by one place.
static void warp_next_race()
{
    int last = race.lineup[max_slots - 1];
    memmove(race.lineup + 1, race.lineup, (max_slots - 1) * sizeof race.lineup[0]);
    race.lineup[0] = last;
    int duration = static_cast<int>(settings.minutes * 60 / tick_period);
    race_setup(race.lineup, false, settings.record != 0, duration, static_cast<int>(settings.laps),
               settings.skill);
}

// "--record-audio": the capture file, and the tick that appends one mixed
// block of the readback back end after every simulation tick.
static FILE* audio_capture = nullptr;
constexpr int record_audio_block = static_cast<int>(tick_period * record_audio_rate);   // 690 samples

static void tick_and_capture()
{
    simulation_tick();
    if (!audio_capture)
        return;
    const int16_t* block = audio_mix_block();
    if (block && fwrite(block, sizeof *block, record_audio_block, audio_capture) !=
                     static_cast<size_t>(record_audio_block)) {
        log_printf("Audio capture write failed; capture stopped\n");
        fclose(audio_capture);
        audio_capture = nullptr;
    }
}

static void open_audio()
{
    if (opts.record_audio_path) {
        audio_capture = fopen(opts.record_audio_path, "wb");
        if (!audio_capture)
            log_printf("Can't create audio capture file '%s'\n", opts.record_audio_path);
        else if (!audio_open_readback(record_audio_rate, record_audio_block)) {
            fclose(audio_capture);
            audio_capture = nullptr;
        }
    } else if (!opts.no_sound) {
        audio_open_output(game_window);   // may fail: the game runs silent
    }
}

static void close_audio()
{
    audio_close();
    if (audio_capture)
        fclose(audio_capture);
    audio_capture = nullptr;
}

static void install_race_hooks()
{
    bike_env.race = &rules_bike_race_ops;
    hooks.run_tick = tick_and_capture;
    hooks.apply_controls = apply_rider_controls;
    hooks.clutch_engagement = clutch_of;
    hooks.reverse_steering = reverse_steering_on;
    hooks.in_time_trial = time_trial_on;
    hooks.time_trial_reset = time_trial_reset;
    hooks.warp_race_done = warp_leader_done;
    hooks.warp_restart = warp_next_race;
}

static const char* binding_control(const char* key)
{
    for (int i = 0; i < binding_count; i++)
        if (strcmp(binding_defaults[i].key, key) == 0)
            return settings.bindings[i];
    return "";
}

static uint32_t resolve_control(const char* name)
{
    if (!name || !*name)
        return control_none;
    uint32_t code = control_by_name(game_window, name);
    if (code == control_none)
        log_printf("Unknown control '%s'\n", name);
    return code;
}

static void resolve_bindings()
{
    for (int i = 0; i < riding_row_count; i++) {
        binding_row& row = bindings.rows[i];
        row.code = resolve_control(binding_control(riding_rows[i].key));
        row.control = riding_rows[i].control;
        row.sign = riding_rows[i].sign;
        row.value = 0;
    }
    for (int i = 0; i < single_binding_count; i++)
        bindings.singles[i] = resolve_control(binding_control(single_keys[i]));
    for (int i = 0; i < menu_key_count; i++)
        bindings.menu_keys[i] = resolve_control(menu_key_names[i]);
}

static void detect_mmx()
{
#if defined(__x86_64__) || defined(__i386__)
    opts.have_mmx = __builtin_cpu_supports("mmx") ? 1 : 0;
#else
    opts.have_mmx = 0;
#endif
    if (!opts.have_mmx)
        log_printf("This CPU does not have MMX!\n");
}

static void choose_track()
{
    const char* wanted = opts.start_track ? opts.start_track
                                          : (settings.track[0] ? settings.track : default_track);
    for (int i = 0; i < tracks.count; i++)
        if (strcmp(tracks.dirs[i], wanted) == 0)
            selected_track = i;
}

static bool open_window()
{
    int flags = opts.color_bits;
    int width = settings.xres, height = settings.yres;
    if (settings.video_mode != 1) {
        flags |= window_flag_fullscreen;
        width = height = 0;   // the chosen mode's size; 0 x 0 = the desktop's
        const video_mode_choice* items = nullptr;
        int count = video_mode_choices(&items);
        if (items && settings.video_mode >= 0 && settings.video_mode < count) {
            width = items[settings.video_mode].width;
            height = items[settings.video_mode].height;
        }
        ui_state.fullscreen = true;
    }
    game_window = window_open_gl(window_title, width, height, flags, 0, opts.depth_bits, 0, 0);
    return game_window != nullptr;
}

static bool wait_for_drawable()
{
    for (int polls = 0;; polls++) {
        const frame_desc* f = frame_begin(game_window);
        if (f) {
            // The first frame: cleared by the renderer once it exists.
            return frame_end(game_window);
        }
        if (polls == drawable_polls)
            return false;
        sleep_seconds(drawable_poll_period);
    }
}

static void shutdown_sequence()
{
    const race_services& sv = race_services_now();
    if (sv.series_record_event)
        sv.series_record_event();
    if (race.line_set >= 0 && sv.lines_save)
        sv.lines_save();
    if (sv.lines_free)
        sv.lines_free();
    physics_contacts_clear();
    race_free_bikes();
    if (sv.playback_close)
        sv.playback_close();
    if (sv.recording_stop)
        sv.recording_stop();
    if (track.name)
        release_track();
    race.current_track = nullptr;
    physics_world_destroy();
    close_audio();
    if (game_window)
        window_close(game_window);
    game_window = nullptr;
    settings_write();
    sleep_seconds(1.0);
    log_printf(nullptr);
}

// Data discovery: the home folder and the log, then the game data.
static bool discover_data()
{
    const char* home = data_root(0);
    if (home) {
        char log_name[path_max];
        make_parent_dirs(home);
        if (text_copy(log_name, sizeof log_name, "KOBU_LOGFILE=") &&
            text_append(log_name, sizeof log_name, home) &&
            text_append(log_name, sizeof log_name, "lastlog.txt"))
            log_printf("%s", log_name);
    }
    return game_data_check();
}

int game_main(int argc, char** argv, const window_ops* backend)
{
    xmalloc_set_fatal(memory_exhausted);
    platform_install(backend);
    startup_options_defaults(&opts);
    settings_set_defaults(&settings);
    setup_defaults(&player_setup);
    memset(&ui_state, 0, sizeof ui_state);
    ui_state.selected_camera = -1;

    if (!discover_data()) {
        fatal_box("Problem starting Vortrak", "Can't find game data\n");
        log_printf(nullptr);
        return 1;
    }
    fixed_files_ok = generic_shape_check();
    detect_mmx();
    settings_apply_default_preset(&settings);
    settings_read();
    derive_detail_settings(settings, &opts);
    int status = parse_command_line(argc, argv, &opts, &settings);
    if (status >= 0) {
        log_printf(nullptr);
        return status;
    }
    terrain_verbosity = opts.debug_level;
    if (opts.connect_address)
        opts.start_track = nullptr;
    discover_tracks(file_name_list(), &tracks, opts.debug_level);
    discover_demos(file_name_list(), &demos, opts.debug_level);
    if (tracks.count == 0) {
        fputs("No tracks found\n", stderr);
        log_printf(nullptr);
        return 1;
    }
    log_printf("Points series: not built yet\n");
    choose_track();
    if (!open_window()) {
        log_printf(nullptr);
        return 1;
    }
    open_audio();
    if (!wait_for_drawable()) {
        shutdown_sequence();
        return 0;
    }
    resolve_bindings();
    if (!physics_world_create())
        log_printf("Physics world could not be created\n");
    bike_shapes_install_track_assets();
    race_setup_init();
    if (!opts.file_argument)
        race.lineup[0] = lineup_robot;   // a single robot behind the opening menu
    install_race_hooks();
    if (selected_track >= 0)
        race_setup(race.lineup, opts.file_argument != nullptr, false, 0, startup_laps, settings.skill);
    opts.file_argument = nullptr;
    ui_state.menu_screen = opts.connect_address ? -1 : 0;

    loop_state loop;
    loop_init(&loop, game_window);
    loop.view_mode = view_ride;
    loop_run(&loop);
    shutdown_sequence();
    return 0;
}
