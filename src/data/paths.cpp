// paths.cpp -- the data roots, safe data names, the home folder.
//
// Owns the list of data roots (worked out once from the environment and the
// executable's location), the rules that keep a data name inside a root,
// renames under data names, opening the home folder in the desktop's file
// browser and the working-set report.  Needs the log (platform/log.h).
// Promises: every root ends in "/", is normalised, and never exceeds
// path_max; a path that would not fit is refused, never cut.
#include "data/paths.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/text.h"
#include "platform/log.h"

constexpr size_t exe_path_max = 260;                       // longer executable paths are not used
constexpr unsigned long long ws_cap = 2147483648ull;       // physical memory counted at most
constexpr unsigned long long ws_floor = 67108864ull;       // below this the working set is left alone
constexpr unsigned long long ws_reserve = 33554432ull;     // kept out of the maximum
constexpr unsigned long long ws_min_cap = 1073741824ull;   // the minimum never exceeds this

static char roots[max_data_roots][path_max];   // normalised, each ending in "/"
static int root_count = 0;                     // entries of roots in use
static bool home_known = false;                // roots[0] is the home root
static bool roots_built = false;

bool path_normalize(char* out, size_t size, const char* a, const char* b)
{
    if (size == 0)
        return false;
    size_t n = 0;
    const char* parts[2] = { a, b };
    for (const char* part : parts) {
        for (const char* p = part; p && *p; p++) {
            char c = (*p == '\\') ? '/' : *p;
            if (c == '/' && n > 0 && out[n - 1] == '/')
                continue;
            if (n + 1 >= size) {
                out[0] = 0;
                return false;
            }
            out[n++] = c;
        }
    }
    out[n] = 0;
    return true;
}

// Appends "/Vortrak/" to the per-user data folder: $XDG_DATA_HOME when it
// is an absolute path, else $HOME/.local/share (the password database's
// home directory when HOME is unset).
static bool find_home_root(char* out, size_t size)
{
    const char* xdg = getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') {
        char joined[path_max];
        return path_normalize(joined, sizeof joined, xdg, "/Vortrak/")
            && text_copy(out, size, joined);
    }
    const char* home = getenv("HOME");
    if (!home || home[0] != '/') {
        const passwd* pw = getpwuid(getuid());
        home = (pw && pw->pw_dir && pw->pw_dir[0] == '/') ? pw->pw_dir : nullptr;
    }
    if (!home)
        return false;
    char share[path_max];
    return path_normalize(share, sizeof share, home, "/.local/share/")
        && path_normalize(out, size, share, "/Vortrak/");
}

// The directory holding the running executable, with a trailing "/".
static bool find_exe_root(char* out, size_t size)
{
    char exe[exe_path_max + 1];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe);
    if (n <= 0 || static_cast<size_t>(n) >= exe_path_max)
        return false;
    exe[n] = 0;
    char* slash = strrchr(exe, '/');
    if (!slash)
        return false;
    slash[1] = 0;
    return path_normalize(out, size, exe, nullptr);
}

static void build_roots()
{
    roots_built = true;
    root_count = 0;
    home_known = find_home_root(roots[0], path_max);
    if (home_known)
        root_count++;
    // An empty VK_HOME would make "/" a data root; it counts as unset.
    const char* vk_home = getenv("VK_HOME");
    bool ok;
    if (vk_home && vk_home[0])
        ok = path_normalize(roots[root_count], path_max, vk_home, "/");
    else
        ok = find_exe_root(roots[root_count], path_max);
    if (ok)
        root_count++;
}

const char* data_root(int index)
{
    if (!roots_built)
        build_roots();
    return (index >= 0 && index < root_count) ? roots[index] : nullptr;
}

int data_root_count()
{
    if (!roots_built)
        build_roots();
    return root_count;
}

const char* home_root()
{
    if (!roots_built)
        build_roots();
    return home_known ? roots[0] : nullptr;
}

void data_roots_reset()
{
    roots_built = false;
    root_count = 0;
    home_known = false;
}

bool data_name_is_safe(const char* name)
{
    if (!name || !name[0] || name[0] == '/' || name[0] == '\\')
        return false;
    // Components are split on both separators, since "\" becomes "/" when
    // the name is joined to a root.
    const char* part = name;
    for (const char* p = name;; p++) {
        if (*p == '/' || *p == '\\' || *p == 0) {
            if (p - part == 2 && part[0] == '.' && part[1] == '.')
                return false;
            if (*p == 0)
                return true;
            part = p + 1;
        }
    }
}

void make_parent_dirs(const char* path)
{
    char prefix[path_max];
    size_t n = strlen(path);
    if (n >= sizeof prefix)
        return;
    for (size_t i = 1; i < n; i++) {
        if (path[i] != '/')
            continue;
        memcpy(prefix, path, i);
        prefix[i] = 0;
        mkdir(prefix, 0755);   // an existing directory is left alone
    }
}

bool home_path(char* out, size_t size, const char* data_name)
{
    if (data_name[0] == '@')
        data_name++;
    const char* home = home_root();
    if (!home || !data_name_is_safe(data_name))
        return false;
    return path_normalize(out, size, home, data_name);
}

// A data name is resolved to the home root; a path is copied, bounded.
static bool rename_target(char* out, size_t size, const char* name)
{
    if (name[0] == '@')
        return home_path(out, size, name);
    return text_copy(out, size, name);
}

bool file_rename(const char* from, const char* to)
{
    char a[path_max], b[path_max];
    if (!rename_target(a, sizeof a, from) || !rename_target(b, sizeof b, to))
        return false;
    return rename(a, b) == 0;
}

// Sends an errno value up the pipe; a failed write leaves the parent seeing
// "no report", which is the best a dying child can do.
static void report_errno(int fd, int err)
{
    ssize_t ignored = write(fd, &err, sizeof err);
    (void)ignored;
}

// Starts "xdg-open folder" detached: a middle child forks the opener and
// exits at once, so no zombie is left; a close-on-exec pipe tells whether
// the exec itself succeeded.
static bool spawn_opener(const char* folder)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return false;
    pid_t middle = fork();
    if (middle < 0) {
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    if (middle == 0) {
        close(fds[0]);
        pid_t opener = fork();
        if (opener != 0) {
            if (opener < 0)
                report_errno(fds[1], errno);
            _exit(0);
        }
        int null_fd = open("/dev/null", O_RDWR);
        if (null_fd >= 0) {
            dup2(null_fd, 0);
            dup2(null_fd, 1);
            dup2(null_fd, 2);
        }
        char* argv[] = { const_cast<char*>("xdg-open"), const_cast<char*>(folder), nullptr };
        execvp(argv[0], argv);
        report_errno(fds[1], errno);
        _exit(127);
    }
    close(fds[1]);
    int status = 0;
    while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    int err = 0;
    ssize_t got;
    do
        got = read(fds[0], &err, sizeof err);
    while (got < 0 && errno == EINTR);
    close(fds[0]);
    return got == 0;   // the pipe closed on a successful exec
}

bool home_open_in_browser()
{
    const char* home = home_root();
    if (!home) {
        log_printf("Can't open the home folder: it is unknown\n");
        return false;
    }
    make_parent_dirs(home);
    char folder[path_max];
    text_copy(folder, sizeof folder, home);
    size_t n = strlen(folder);
    if (n > 1 && folder[n - 1] == '/')
        folder[n - 1] = 0;
    if (!spawn_opener(folder)) {
        log_printf("Can't start xdg-open to show %s\n", folder);
        return false;
    }
    return true;
}

bool working_set_range(unsigned long long physical, unsigned* minimum, unsigned* maximum)
{
    unsigned long long t = physical < ws_cap ? physical : ws_cap;
    if (t < ws_floor)
        return false;
    unsigned long long high = t - ws_reserve;
    *maximum = static_cast<unsigned>(high);
    *minimum = static_cast<unsigned>(high < ws_min_cap ? high : ws_min_cap);
    return true;
}

// Linux has no working-set control: the range is worked out and logged as
// it would be applied, then the update is reported as failed.
void working_set_setup()
{
    long pages = sysconf(_SC_PHYS_PAGES);
    long page_size = sysconf(_SC_PAGESIZE);
    unsigned long long physical = (pages > 0 && page_size > 0)
        ? static_cast<unsigned long long>(pages) * static_cast<unsigned long long>(page_size) : 0;
    unsigned minimum = 0, maximum = 0;
    if (!working_set_range(physical, &minimum, &maximum)) {
        log_printf("Working set left alone - less than 64 MB physical memory\n");
        return;
    }
    log_printf("Setting working set range to %u - %u\n", minimum, maximum);
    log_printf("Working set update failed\n");
}
