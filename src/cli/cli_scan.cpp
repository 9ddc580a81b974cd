#include "cli/cli_scan.h"

#include "cond/cond_block.h"
#include "cond/cond_eval.h"
#include "cond/cond_lex.h"
#include "cond/cond_line.h"
#include "cond/cond_options.h"
#include "cond/cond_output.h"
#include "cond/cond_xblock.h"
#include "support/message.h"

namespace cli {

int scan_file(const char *name)
{
    if (cond::line_open(name) < 0) {
        support::fatal("%s: file not found.\n", name);
    }
    cond::lex_reset();
    char *const line = cond::buff + 1;
    for (;;) {
        cond::lex_skim(1);
        if (!cond::lex_next_line("%d: %s \nError: too long line found!\n")) {
            break;
        }
        char *p = cond::lex_line();
        if (p != nullptr) {
            const int kind = cond::line_kind;
            if (kind == cond::DIR_IFDEF || kind == cond::DIR_IF || kind == cond::DIR_IFNDEF) {
                // The block processor deals with every line through the matching #endif.
                const int r =
                    cond::opt_x ? cond::proc_block_x(kind, 1, p) : cond::proc_block(kind, 1);
                if (r == -2) {
                    return 0;
                }
                continue;
            }
            if (kind == cond::DIR_ELIF) {
                cond::line_error("Error: %d: %s: cannot analyze!\n", p);
            }
            if (kind == cond::DIR_ELSE) {
                cond::line_error("Error: %d: %s: does not correspond.\n", p);
            }
            if (kind == cond::DIR_ENDIF) {
                cond::put_line(line);
                cond::line_error("Error: %d: %s: does not correspond.\n", p);
            }
            cond::lex_finish(p);
        }
        if (!cond::opt_v) {
            cond::put_line(line);
        }
    }
    return 0;
}

}  // namespace cli
