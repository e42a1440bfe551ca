// datagen.h -- the default data pack generator's shared pieces.
//
// The generator writes every file of the game's default data into an
// output folder (the build directory, which the built game treats as its
// data root).  Output is byte-identical from run to run: no time stamps,
// C-locale number formatting, and the program's own MT19937 where anything
// is random.  One module per kind of asset; each writes through these
// helpers.
#pragma once

#include <string>

struct datagen_context {
    std::string out_dir;     // the data root being written, no trailing "/"
    std::string stage_dir;   // scratch folder for files packed into archives
};

// Writes bytes to a file below a folder, creating directories, through a
// temporary name; false (with a message on standard error) on failure.
bool datagen_write(const std::string& dir, const std::string& name, const std::string& bytes);

// Records a built-in digest (40 hex digits) that the game is compiled with,
// defined as `extern const char symbol[]` in the generated digest source.
void datagen_record_digest(const std::string& symbol, const std::string& hex);

// Modules.
bool datagen_shapes(const datagen_context& ctx);           // the ".shp" collision shapes
bool datagen_objects(const datagen_context& ctx);          // track-side object models, textures, sprites
bool datagen_tracks(const datagen_context& ctx);           // "rabbithill/", "stadium/", ground textures
bool datagen_shared_archive(const datagen_context& ctx);   // "zzzz.saf"
