#include "cli/cli_run.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "cli/cli_scan.h"
#include "cli/cli_stack.h"
#include "cli/cli_usage.h"
#include "cond/cond_block.h"
#include "cond/cond_eval.h"
#include "cond/cond_lex.h"
#include "cond/cond_line.h"
#include "cond/cond_match.h"
#include "cond/cond_names.h"
#include "cond/cond_options.h"
#include "cond/cond_output.h"
#include "cond/cond_xexpr.h"
#include "support/exit_hook.h"
#include "support/message.h"
#include "support/out_stage.h"
#include "support/sj_string.h"

namespace cli {

// Characters a list entry may hold: identifier characters and the wildcards; a byte of 0x80 or
// above never qualifies.
static bool is_name_char(unsigned char c)
{
    return support::is_ident_char(c) || c == '?' || c == '*' || c == '\\';
}

// Appends one entry; false when the table is full.
static bool add_name(char *name, int value)
{
    if (cond::list_count >= cond::LIST_MAX) {
        return false;
    }
    cond::list_name[cond::list_count] = name;
    cond::list_value[cond::list_count] = value;
    cond::list_num[cond::list_count] = static_cast<std::uint64_t>(value);
    cond::list_uns[cond::list_count] = 0;
    cond::list_count++;
    return true;
}

// Ends the name starting at name at its comma (the list is not used again) and quotes it.
static int name_error(const char *fmt, char *name)
{
    char *comma = std::strchr(name, ',');
    if (comma != nullptr) {
        *comma = '\0';
    }
    support::errmsg(fmt, name);
    return -1;
}

// Under -x: the value behind the '=' at eq of the last entry (an entry of a defined list), an
// optional minus and a C integer constant up to the next comma. Stores it with the entry, ends
// the name at eq and returns the position behind the value, or null when it is malformed.
static char *take_value(char *eq, int value)
{
    char *v = eq + 1;
    char *end = v;
    while (*end != '\0' && *end != ',') {
        end++;
    }
    const bool neg = *v == '-';
    const char *digits = neg ? v + 1 : v;
    std::uint64_t num = 0;
    int uns = 0;
    if (value != 1 || !cond::xnum_read(digits, static_cast<int>(end - digits), &num, &uns)) {
        return nullptr;
    }
    cond::list_num[cond::list_count - 1] = neg ? 0 - num : num;
    cond::list_uns[cond::list_count - 1] = uns;
    *eq = '\0';
    return end;
}

static const char TOO_MANY_FMT[] = "Error: \"%s\": too many names (at most 256).\n\n";

int set_list(char *list, int value)
{
    char *p = list;
    while (*p == ' ') {
        p++;
    }
    if (*p == '\0') {
        return 0;
    }
    char *name = p;
    if (!add_name(name, value)) {
        return name_error(TOO_MANY_FMT, name);
    }
    while (*p != '\0') {
        if (*p == ',') {
            *p++ = '\0';
            while (*p == ' ') {
                p++;
            }
            if (*p == '\0') {
                break;
            }
            name = p;
            if (!add_name(name, value)) {
                return name_error(TOO_MANY_FMT, name);
            }
            continue;
        }
        if (*p == '=' && cond::opt_x) {
            p = take_value(p, value);
            if (p == nullptr) {
                return name_error("Error: \"%s\": invalid name.\n\n", name);
            }
            continue;
        }
        if (!is_name_char(static_cast<unsigned char>(*p))) {
            return name_error("Error: \"%s\": invalid name.\n\n", name);
        }
        p++;
    }
    for (int i = 0; i < cond::list_count; i++) {
        cond::conv_search_str(cond::list_name[i], 0);
    }
    return 0;
}

// True when a flag group before the file name holds x: it decides how every list is read,
// those before it included.
static bool x_given(int argc, char **argv)
{
    for (int i = 1; i < argc && argv[i][0] == '-'; i++) {
        const char *a = argv[i];
        if (std::strcmp(a, "-l") == 0 || std::strcmp(a, "-lA") == 0 || std::strcmp(a, "-d") == 0) {
            i++;
        } else if (std::strchr(a + 1, 'x') != nullptr) {
            return true;
        }
    }
    return false;
}

int set_option(int argc, char **argv)
{
    cond::list_count = 0;
    if (argc <= 1) {
        return -1;
    }
    if (x_given(argc, argv)) {
        cond::opt_x = 1;
    }
    cond::list_mode = cond::LIST_MODE_UNDEF;
    int i = 1;
    while (i < argc) {
        char *arg = argv[i];
        if (arg[0] != '-') {
            return i;
        }
        int list_value = -1;  // the argument is a list option with this value
        for (const char *c = arg + 1; *c != '\0' && list_value < 0; c++) {
            if (*c == 'v') {
                cond::opt_v = 1;
            } else if (*c == 'n') {
                cond::opt_n = 1;
            } else if (*c == 'T') {
                cond::opt_T = 1;
            } else if (*c == 'x') {
                cond::opt_x = 1;
            } else if (std::strcmp(arg, "-l") == 0 || std::strcmp(arg, "-lA") == 0) {
                list_value = 1;
            } else if (std::strcmp(arg, "-d") == 0) {
                list_value = 0;
            } else {
                return -1;
            }
        }
        if (list_value < 0) {
            i++;
            continue;
        }
        // A list option needs its list and at least one more argument behind it.
        if (i + 2 >= argc) {
            return -1;
        }
        if (set_list(argv[i + 1], list_value) < 0) {
            return -1;
        }
        if (std::strcmp(arg, "-lA") != 0) {
            cond::list_mode &= ~cond::LIST_MODE_UNDEF;
        }
        i += 2;
    }
    return argc;
}

// The index of the file name in argv, the options read; a malformed command line ends the run.
static int file_argument(int argc, char **argv)
{
    const int file = set_option(argc, argv);
    if (file < 0 || file >= argc) {
        // No file name at all is as malformed as any other command line.
        std::fputs(usage_msg[USAGE_LINE], stderr);
        std::fputc('\n', stderr);
        support::fatal_exit(1);
    }
    return file;
}

static void scan_job(void *name) { scan_file(static_cast<const char *>(name)); }

int run(int argc, char **argv)
{
    run_reset();
    if (argc == 2 && std::strcmp(argv[1], "-usage") == 0) {
        for (int i = 0; usage_msg[i][0] != '\0'; i++) {
            support::out_write(usage_msg[i], std::strlen(usage_msg[i]));
            support::out_write("\n", 1);
        }
        support::out_flush();
        return 0;
    }
    const int file = file_argument(argc, argv);
    if (run_on_stack(scan_job, argv[file], SCAN_STACK_SIZE) < 0) {
        support::fatal("Error: not enough memory.\n");
    }
    if (cond::if_depth > 0) {
        support::fatal("Error: Ifdef statement does not close.\n");
    }
    support::out_flush();
    return 0;
}

int names_setup(int argc, char **argv)
{
    run_reset();
    return file_argument(argc, argv);
}

int names_file(const char *file, cond::name_sink sink, void *ctx)
{
    const int r = cond::names_scan(file, sink, ctx);
    const int e = errno;
    names_close();
    errno = e;
    return r;
}

void names_close()
{
    cond::names_reset();
    cond::line_reset();
}

void run_reset()
{
    cond::cond_reset();
    support::message_reset();
}

}  // namespace cli
