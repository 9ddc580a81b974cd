#include "tree/tree_args.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tree {

const char *const prog_name = "velkrun-tree";
const char *const usage_line = "Usage: velkrun-tree [--dry-run | --check | --diff | --symbols "
                               "[--locate]] [--quiet] [--jobs N] "
                               "[--backup SUFFIX] [--ext LIST] [velkrun options] -- PATH...";

namespace {

const char *const default_exts[] = {"c", "h", "cc", "cpp", "cxx", "hh", "hpp", "hxx"};

const char *const help_text =
    "\n"
    "Runs velkrun with the given options over every file under each PATH whose name\n"
    "ends in one of the extensions (default: .c .h .cc .cpp .cxx .hh .hpp .hxx) and\n"
    "rewrites a file in place when velkrun succeeds and its output differs.\n"
    "\n"
    "  --dry-run        list the files that would change; write nothing\n"
    "  --check          as --dry-run, and exit 1 when any file would change\n"
    "  --diff           write a unified diff of every change (for patch -p0); write nothing\n"
    "  --symbols        list each name the conditionals test: NAME, FILES, LINES, DEFINES\n"
    "                   and what the lists make of it (defined, undefined, open); write nothing\n"
    "  --locate         with --symbols: FILE:LINE: NAME for each name in each conditional\n"
    "  --quiet          no progress line and no per-file lines; failures and summary only\n"
    "  -j, --jobs N     files processed at once (default: the number of processors)\n"
    "  --backup SUFFIX  keep each original as FILE followed by SUFFIX\n"
    "  --ext LIST       comma-separated extensions to take instead of the defaults\n"
    "  --help           show this text\n"
    "\n"
    "velkrun options: -T, -x, -l LIST, -lA LIST, -d LIST (-n, -v and -usage are refused);\n"
    "under -x a list entry may be NAME=VALUE, and --symbols counts such a name defined.\n"
    "At least one list is needed (-d '*' takes every name as undefined).\n"
    "Symbolic links are not followed, except a link named as a PATH.\n"
    "Exit status: 0 when no file failed or was refused (with --check: and none would\n"
    "change), 1 when a file failed (with --check: or would change), 2 for a usage\n"
    "error, 3 when the only problems are files velkrun refused, 129/130/143 when ended\n"
    "by SIGHUP/SIGINT/SIGTERM.\n";

// Writes one usage error and the usage line; returns 2 for parse_args to hand on.
int usage_error(const std::string &what)
{
    std::fprintf(stderr, "%s: %s\n%s\n", prog_name, what.c_str(), usage_line);
    return 2;
}

// Reads a job count: a whole number from 1 to 1024. Returns it, or 0 when malformed.
int read_jobs(const char *s)
{
    if (*s < '0' || *s > '9') {
        return 0;
    }
    char *end = nullptr;
    const long n = std::strtol(s, &end, 10);
    if (*end != '\0' || n < 1 || n > 1024) {
        return 0;
    }
    return static_cast<int>(n);
}

// Sets exts from a comma-separated list; returns 0, or 2 after a usage error.
int set_exts(const char *list)
{
    exts.clear();
    const char *p = list;
    for (;;) {
        const char *comma = std::strchr(p, ',');
        std::string e(p, comma ? static_cast<std::size_t>(comma - p) : std::strlen(p));
        if (!e.empty() && e[0] == '.') {
            e.erase(0, 1);
        }
        if (!e.empty()) {
            for (char c : e) {
                const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                (c >= '0' && c <= '9') || c == '_' || c == '+' || c == '-';
                if (!ok) {
                    return usage_error("--ext: invalid extension: " + e);
                }
            }
            exts.push_back(e);
        }
        if (!comma) {
            break;
        }
        p = comma + 1;
    }
    if (exts.empty()) {
        return usage_error("--ext: empty list");
    }
    return 0;
}

}  // namespace

int dry_run = 0;
int check_mode = 0;
int diff_mode = 0;
int symbols_mode = 0;
int locate_mode = 0;
int quiet = 0;
int jobs = 0;
std::string backup;
std::vector<std::string> exts(std::begin(default_exts), std::end(default_exts));
std::vector<std::string> vopts;
std::vector<std::string> paths;

int parse_args(int argc, char **argv)
{
    int i = 1;
    bool dashdash = false;
    while (i < argc) {
        const std::string a = argv[i++];
        const bool has_next = i < argc;
        if (a == "--") {
            dashdash = true;
            break;
        }
        if (a == "--help") {
            std::printf("%s\n%s", usage_line, help_text);
            return 1;
        }
        if (a == "--dry-run") {
            dry_run = 1;
        } else if (a == "--check") {
            check_mode = 1;
        } else if (a == "--diff") {
            diff_mode = 1;
        } else if (a == "--symbols") {
            symbols_mode = 1;
        } else if (a == "--locate") {
            locate_mode = 1;
        } else if (a == "--quiet") {
            quiet = 1;
        } else if (a == "-j" || a == "--jobs" || a.rfind("--jobs=", 0) == 0 ||
                   (a.size() > 2 && a.compare(0, 2, "-j") == 0)) {
            const char *value;
            if (a == "-j" || a == "--jobs") {
                if (!has_next) {
                    return usage_error(a + " needs a number");
                }
                value = argv[i++];
            } else {
                value = a.c_str() + (a[1] == 'j' ? 2 : 7);
            }
            jobs = read_jobs(value);
            if (jobs == 0) {
                return usage_error(a + ": the number of jobs must be 1 to 1024: " + value);
            }
        } else if (a == "--backup") {
            if (!has_next) {
                return usage_error("--backup needs a suffix");
            }
            backup = argv[i++];
            if (backup.empty() || backup.find('/') != std::string::npos ||
                backup.find('\\') != std::string::npos) {
                return usage_error("--backup: the suffix must be non-empty and hold no '/'");
            }
        } else if (a == "--ext") {
            if (!has_next) {
                return usage_error("--ext needs a list");
            }
            if (set_exts(argv[i++]) != 0) {
                return 2;
            }
        } else if (a.compare(0, 2, "--") == 0) {
            return usage_error("unknown option: " + a);
        } else if (a == "-l" || a == "-lA" || a == "-d") {
            // The next argument is a list whatever it looks like, exactly as velkrun reads it.
            if (!has_next) {
                return usage_error(a + " needs a list");
            }
            vopts.push_back(a);
            vopts.push_back(argv[i++]);
        } else if (a == "-usage") {
            return usage_error("-usage cannot be combined with a tree run; run velkrun -usage");
        } else if (a[0] == '-') {
            const std::string letters = a.substr(1);
            if (letters.find_first_of("nv") != std::string::npos) {
                return usage_error(a + ": -n and -v change what velkrun writes and cannot be used "
                                       "when rewriting files; run velkrun -v on single files to "
                                       "preview, or use --dry-run");
            }
            if (letters.empty() || letters.find_first_not_of("Tx") != std::string::npos) {
                return usage_error("unknown velkrun option: " + a);
            }
            vopts.push_back(a);
        } else {
            return usage_error(a + ": paths go after --");
        }
    }
    if (locate_mode && !symbols_mode) {
        return usage_error("--locate goes with --symbols");
    }
    if (symbols_mode && (dry_run || check_mode || diff_mode || !backup.empty())) {
        return usage_error(
            "--symbols writes nothing and cannot be combined with --dry-run, --check, "
            "--diff or --backup");
    }
    if (!dashdash) {
        return usage_error("missing -- before the paths");
    }
    if (i >= argc) {
        return usage_error("no PATH given");
    }
    if (!symbols_mode && !has_list()) {
        return usage_error("no -l, -lA or -d list given; velkrun would take every name as "
                           "undefined: to ask for that, give -d '*'");
    }
    paths.assign(argv + i, argv + argc);
    return 0;
}

bool has_list()
{
    for (const std::string &o : vopts)
        if (o == "-l" || o == "-lA" || o == "-d") {
            return true;
        }
    return false;
}

bool has_ext(const std::string &path)
{
    const std::size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) {
        return false;
    }
    const std::string ext = name.substr(dot + 1);
    for (const std::string &e : exts)
        if (e == ext) {
            return true;
        }
    return false;
}

void args_reset()
{
    dry_run = check_mode = diff_mode = symbols_mode = locate_mode = quiet = jobs = 0;
    backup.clear();
    exts.assign(std::begin(default_exts), std::end(default_exts));
    vopts.clear();
    paths.clear();
}

}  // namespace tree
