// game_data.cpp -- the start-up check that the shipped data is present.
//
// Owns: game_data_check and game_data_check_digest.  Needs: the data roots
// and archive_digest; game_data_check also needs the digest the data
// generator compiles into vk_game_digest (game_data_digest), which is why
// this check lives in a file of its own: tools that use the rest of the
// data library never pull that symbol in.  Promises: success only when some
// root's "zzzz.saf" matches, trying every root in order, so a stale or
// damaged copy in the home root does not hide a good one in the data
// folder.
#include "data/file_index.h"

#include <cstring>

#include "base/sha1.h"
#include "base/text.h"
#include "data/archive.h"
#include "data/paths.h"

static const char game_archive_name[] = "zzzz.saf";

bool game_data_check_digest(const char* hex_digest)
{
    uint8_t wanted[sha1_digest_size];
    if (!hex_digest || strlen(hex_digest) != 2 * sha1_digest_size || !sha1_from_hex(hex_digest, wanted))
        return false;
    for (int r = 0; r < data_root_count(); r++) {
        const char* root = data_root(r);
        char path[path_max];
        if (!root || !text_copy(path, sizeof path, root) || !text_append(path, sizeof path, game_archive_name))
            continue;
        uint8_t digest[sha1_digest_size];
        if (archive_digest(path, digest) && memcmp(digest, wanted, sizeof digest) == 0)
            return true;
    }
    return false;
}

bool game_data_check()
{
    return game_data_check_digest(game_data_digest);
}
