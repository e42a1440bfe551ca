// file_index.cpp -- the index of loose data files and archive members.
//
// Owns: the sorted entry array and the file name list, built once (or again
// after file_index_reset) and kept until exit.  Needs: the data roots
// (paths.h), the archive header reader (archive.h), interned strings.
// Promises: entries sorted by name with A-Z folded, then priority, then a
// fixed tie-break (exact name, path, offset), so the order never depends on
// the order a directory lists its entries; a lookup returns the entry with
// the smallest priority; archives found inside archives are listed, never
// opened; a malformed archive contributes no entry at all.
#include "data/file_index.h"

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

#include "base/heap_sort.h"
#include "base/intern.h"
#include "base/text.h"
#include "base/xmalloc.h"
#include "data/archive.h"
#include "data/paths.h"

constexpr int initial_entries = 16;       // first room of the entry array
constexpr int initial_variants = 8;       // first room of a texture variant list
static const char archive_suffix[] = ".saf";
constexpr size_t archive_name_min = 5;    // "x.saf": a bare ".saf" is no archive

static file_index_entry* entries;   // the index, sorted (xmalloc)
static int entry_count;             // entries in use
static int entry_capacity;          // room in entries
static const char** name_list;      // distinct names, null-terminated (xmalloc)
static bool built;                  // entries and name_list are ready

// ---------------------------------------------------------------- building

static void add_entry(const char* path, const char* name, int32_t offset, int32_t size, int32_t priority)
{
    if (entry_count == entry_capacity) {
        if (entry_capacity > (1 << 28))
            out_of_memory();
        int room = entry_capacity ? entry_capacity * 2 : initial_entries;
        // xrealloc never returns null: growing cannot lose the entry.
        entries = static_cast<file_index_entry*>(
            xrealloc(entries, static_cast<size_t>(room) * sizeof(file_index_entry)));
        entry_capacity = room;
    }
    entries[entry_count++] = file_index_entry{path, name, offset, size, priority};
}

// Adds every regular file below root + rel (rel empty or ending in "/").
// Symbolic links to files are followed, links to directories are not, so a
// link loop cannot make the walk endless; paths that do not fit are skipped,
// since no open could name them.
static void walk_root(const char* root, char* rel, int32_t priority)
{
    char dir_path[path_max];
    if (!text_copy(dir_path, sizeof dir_path, root) || !text_append(dir_path, sizeof dir_path, rel))
        return;
    DIR* dir = opendir(dir_path);
    if (!dir)
        return;
    size_t rel_length = strlen(rel);
    while (dirent* d = readdir(dir)) {
        if (strcmp(d->d_name, ".") == 0 || strcmp(d->d_name, "..") == 0)
            continue;
        char path[path_max];
        if (!text_copy(path, sizeof path, dir_path) || !text_append(path, sizeof path, d->d_name))
            continue;
        struct stat st;
        if (lstat(path, &st) != 0)
            continue;
        bool link = S_ISLNK(st.st_mode);
        if (link && stat(path, &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode) && !link) {
            if (text_append(rel, path_max, d->d_name) && text_append(rel, path_max, "/"))
                walk_root(root, rel, priority);
            rel[rel_length] = 0;
        } else if (S_ISREG(st.st_mode)) {
            if (text_append(rel, path_max, d->d_name)) {
                // A loose file is read as a whole file, which stops at the
                // 32-bit limit too.
                int32_t size = st.st_size > 2147483647 ? 2147483647 : static_cast<int32_t>(st.st_size);
                add_entry(intern_string(path), intern_string(rel), 0, size, priority);
            }
            rel[rel_length] = 0;
        }
    }
    closedir(dir);
}

static int compare_entries(const file_index_entry& a, const file_index_entry& b)
{
    int c = text_compare_folded(a.name, b.name);
    if (c != 0)
        return c;
    if (a.priority != b.priority)
        return a.priority < b.priority ? -1 : 1;
    // Equal names of one root or archive (case-sensitive file systems,
    // repeated members): a fixed order instead of the sort's whim.
    if ((c = strcmp(a.name, b.name)) != 0)
        return c;
    if ((c = strcmp(a.path, b.path)) != 0)
        return c;
    return a.offset < b.offset ? -1 : a.offset > b.offset;
}

static void sort_entries()
{
    heap_sort_array(entries, static_cast<size_t>(entry_count), compare_entries);
}

static bool is_archive_name(const char* name)
{
    return strlen(name) >= archive_name_min && text_ends_with_folded(name, archive_suffix);
}

// Adds the members of one archive; a header that cannot be trusted adds none.
static void add_archive(const char* path, int32_t number)
{
    FILE* file = fopen(path, "rb");
    if (!file)
        return;
    struct stat st;
    archive_header header{};
    bool ok = fstat(fileno(file), &st) == 0 &&
              archive_read_header(file, static_cast<int64_t>(st.st_size), &header, nullptr, 0);
    fclose(file);
    if (!ok)
        return;
    for (int i = 0; i < header.count; i++) {
        const archive_member& m = header.members[i];
        add_entry(path, intern_string(m.name), m.offset, m.size, number);
    }
    archive_header_free(&header);
}

static void build_name_list()
{
    name_list = static_cast<const char**>(xmalloc((static_cast<size_t>(entry_count) + 1) * sizeof(const char*)));
    int n = 0;
    for (int i = 0; i < entry_count; i++)
        if (n == 0 || text_compare_folded(name_list[n - 1], entries[i].name) != 0)
            name_list[n++] = entries[i].name;
    name_list[n] = nullptr;
}

void file_index_build()
{
    if (built)
        return;
    int roots = data_root_count();
    for (int r = 0; r < roots; r++) {
        const char* root = data_root(r);
        char rel[path_max] = "";
        if (root)
            walk_root(root, rel, r);
    }
    sort_entries();
    // Only the loose files present now are examined, so an archive stored
    // inside an archive is listed but never opened.
    int loose = entry_count;
    int32_t number = roots;
    for (int i = 0; i < loose; i++) {
        if (!is_archive_name(entries[i].name))
            continue;
        const char* path = entries[i].path;   // entries may move while members are added
        add_archive(path, number++);
    }
    sort_entries();
    build_name_list();
    built = true;
}

void file_index_reset()
{
    free(entries);
    free(name_list);
    entries = nullptr;
    name_list = nullptr;
    entry_count = entry_capacity = 0;
    built = false;
}

// ---------------------------------------------------------------- lookups

int file_index_find(const char* name)
{
    if (!name)
        return -1;
    file_index_build();
    int low = 0, high = entry_count;   // first entry not less than name lies in [low, high]
    while (low < high) {
        int mid = low + (high - low) / 2;
        if (text_compare_folded(entries[mid].name, name) < 0)
            low = mid + 1;
        else
            high = mid;
    }
    if (low < entry_count && text_compare_folded(entries[low].name, name) == 0)
        return low;
    return -1;
}

const file_index_entry* file_index_entry_at(int position)
{
    file_index_build();
    if (position < 0 || position >= entry_count)
        return nullptr;
    return &entries[position];
}

int file_index_count()
{
    file_index_build();
    return entry_count;
}

const char* const* file_name_list()
{
    file_index_build();
    return name_list;
}

int file_index_describe(int position, char* buffer, int size)
{
    const file_index_entry* e = file_index_entry_at(position);
    if (!e)
        return 0;
    if (buffer && size > 0)
        snprintf(buffer, static_cast<size_t>(size), "%s -> %s", e->name, e->path);
    return 1;
}

// ---------------------------------------------------------------- texture variants

static void add_variant(texture_variant_list* list, const char* name, const char* label)
{
    if (list->count == list->capacity) {
        int room = list->capacity ? list->capacity * 2 : initial_variants;
        list->names = static_cast<const char**>(xrealloc(list->names, static_cast<size_t>(room) * sizeof(char*)));
        list->labels = static_cast<const char**>(xrealloc(list->labels, static_cast<size_t>(room) * sizeof(char*)));
        list->capacity = room;
    }
    list->names[list->count] = name;
    list->labels[list->count] = label;
    list->count++;
}

// The suffix a texture variant ends in (".png" or ".png.scram"), or null
// for names that are no paint texture (normal and specular maps included).
static const char* texture_suffix(const char* name)
{
    if (text_ends_with(name, ".png"))
        return text_ends_with(name, "_norm.png") || text_ends_with(name, "_spec.png") ? nullptr : ".png";
    if (text_ends_with(name, ".png.scram"))
        return text_ends_with(name, "_norm.png.scram") || text_ends_with(name, "_spec.png.scram")
                   ? nullptr : ".png.scram";
    return nullptr;
}

void texture_variants(const char* prefix, texture_variant_list* out)
{
    if (!prefix)
        prefix = "";
    out->count = 0;
    add_variant(out, nullptr, intern_string("default"));
    size_t prefix_length = strlen(prefix);
    for (const char* const* n = file_name_list(); *n; n++) {
        const char* name = *n;
        const char* suffix = texture_suffix(name);
        if (!suffix)
            continue;
        const char* slash = strrchr(name, '/');
        const char* base = slash ? slash + 1 : name;
        if (!text_starts_with(base, prefix))
            continue;
        size_t name_length = strlen(name);
        size_t base_length = strlen(base);
        if (base_length < prefix_length + strlen(suffix))   // the prefix overlaps the suffix
            continue;
        char data_name[archive_line_max + 2];
        size_t keep = name_length - (strcmp(suffix, ".png.scram") == 0 ? strlen(".scram") : 0);
        if (keep + 2 > sizeof data_name)
            continue;
        data_name[0] = '@';
        memcpy(data_name + 1, name, keep);
        data_name[keep + 1] = 0;
        char label[archive_line_max];
        size_t label_length = base_length - prefix_length - strlen(suffix);
        if (label_length + 1 > sizeof label)
            continue;
        memcpy(label, base + prefix_length, label_length);
        label[label_length] = 0;
        add_variant(out, intern_string(data_name), intern_string(label));
    }
}

void texture_variant_list_free(texture_variant_list* list)
{
    free(list->names);
    free(list->labels);
    *list = texture_variant_list{};
}
