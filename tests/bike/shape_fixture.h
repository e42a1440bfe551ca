// shape_fixture.h -- shape files, bikes and a ground for the collision and
// crash tests: a captured log, data roots in scratch folders (or the
// generated pack), one ODE world, and helpers that give a bike's parts
// shapes of the test's own making.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "bike/bike.h"
#include "bike/collision.h"
#include "bike/crash.h"
#include "bike/physics_world.h"
#include "bike/shape.h"
#include "contact_fixture.h"
#include "data/file_index.h"
#include "data/paths.h"
#include "platform/log_capture.h"

struct shape_test : log_capture {
    ode_world world;
    int shape_files = 0;

    void SetUp() override
    {
        log_capture::SetUp();
        set_env("XDG_DATA_HOME", (dir / "home").c_str());
        set_env("VK_HOME", (dir / "game").c_str());
        write_file(dir / "game/.keep", "");
        data_roots_reset();
        file_index_reset();
        bike_context_reset();
        bike_env.ground = nullptr;
        set_knockout_table(nullptr, 0);
        open();
    }
    void TearDown() override
    {
        bike_context_reset();
        set_knockout_table(nullptr, 0);
        collision_set_contact_hook(nullptr);
        collision_shape_cache_reset();
        data_roots_reset();
        file_index_reset();
        log_capture::TearDown();
    }
    // The generated data pack as the data root (the stock bike shapes).
    void use_game_data()
    {
        set_env("VK_HOME", VK_GAME_DIR);
        data_roots_reset();
        file_index_reset();
    }
    // A ".shp" file with the given text; returns its path (a name the
    // shape code loads like any data name).
    std::string shape_file(const std::string& text)
    {
        std::string path = dir / ("shape" + std::to_string(shape_files++) + ".shp");
        write_file(path, text);
        return path;
    }
    // One sphere at the body origin.
    std::string ball(float radius, float mu = 0.5f, float k = 20000, float c = 2000)
    {
        char text[160];
        snprintf(text, sizeof text, "1\n0 0 0 %f %f %f %f\n", radius, mu, k, c);
        return shape_file(text);
    }
    static collision_shape** slot(bike* b, int body)
    {
        switch (body) {
        case body_frame: return &b->frame_shape;
        case body_front_wheel: return &b->front_wheel_shape;
        case body_rear_wheel: return &b->rear_wheel_shape;
        case body_fork_upper: return &b->fork_upper_shape;
        case body_fork_lower: return &b->fork_lower_shape;
        case body_swingarm: return &b->swingarm_shape;
        default: return &b->rider_shape;
        }
    }
    // A bike whose parts have no shapes until give() hands them some.
    static bike* bare_bike(int slot = 0)
    {
        bike* b = create_bike("crf450(2013)", slot, "1", nullptr, nullptr, nullptr, nullptr);
        release_bike_shapes(b);
        return b;
    }
    static void give(bike* b, int body, const std::string& path)
    {
        collision_shape** s = slot(b, body);
        free_collision_shape(*s);
        *s = copy_collision_shape(path.c_str());
    }
    // Reset, turned about y by heading, moved by (x, y, z).
    static void place(bike* b, float x, float y, float z, float heading = 0)
    {
        reset_bike_pose(b);
        orient_bike(b, 0, 1, 0, heading);
        move_bike(b, x, y, z);
    }
    static void set_speed(bike* b, vec3 v)
    {
        for (dBodyID body : b->bodies)
            body_set_velocity(body, v);
    }
    static vec3 force_on(dBodyID body) { return vec3_from(dBodyGetForce(body)); }
};
