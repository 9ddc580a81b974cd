#include "cli/cli_scan.h"

#include "cond/cond_block.h"
#include "cond/cond_lex.h"
#include "cond/cond_line.h"
#include "cond/cond_options.h"
#include "cond/cond_output.h"
#include "support/exit_hook.h"
#include "support/message.h"
#include "support/sj_string.h"

namespace cli {

int scan_file(const char *name)
{
    if (cond::line_open(name) < 0) {
        support::errmsg("%s: file not found.\n", name);
        support::fatal_exit(1);
    }
    cond::string_f = 0;
    cond::comment2_f = 0;
    cond::comment_f = 0;
    cond::buff[0] = ' ';
    char *const line = cond::buff + 1;
    while (cond::lex_next_line("%d: %s \nError: too long line found!\n")) {
        char *p = cond::lex_line();
        if (p != nullptr) {
            const int kind = cond::open_kind(p);
            if (kind >= 0) {
                cond::if_depth++;
                if (cond::proc_block(kind, 1) == -2) {
                    return 0;
                }
                continue;
            }
            if (cond::is_elif(p)) {
                cond::line_error("Error: %d: %s: cannot analyze!\n", p);
            }
            if (cond::is_else(p)) {
                cond::line_error("Error: %d: %s: does not correspond.\n", p);
            }
            if (cond::is_endif(p)) {
                cond::put_line(line);
                cond::line_error("Error: %d: %s: does not correspond.\n", p);
            }
            cond::lex_walk(cond::step_char(p), p);
        }
        if (!cond::opt_v) {
            cond::put_line(line);
        }
    }
    return 0;
}

}  // namespace cli
