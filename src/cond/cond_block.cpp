#include "cond/cond_block.h"

#include "cond/cond_eval.h"
#include "cond/cond_lex.h"
#include "cond/cond_line.h"
#include "cond/cond_match.h"
#include "cond/cond_options.h"
#include "cond/cond_output.h"
#include "support/exit_hook.h"
#include "support/message.h"
#include "support/sj_string.h"

namespace cond {

// Kept small on purpose: one frame per open conditional, up to IF_DEPTH_MAX of them on the scan
// stack (see SCAN_STACK_SIZE).
int proc_block(int kind, int keep)
{
    char *const line = buff + 1;
    if (if_depth > IF_DEPTH_MAX) {
        line_error("Error: %d: %s: conditionals nested too deeply.\n", support::sp_skip(line));
    }
    const int enclosing = keep;
    int cond;
    eval_directive(kind, line, &cond);
    bool first = false;  // the first branch was selected
    bool taken = false;  // an #if chain has selected a branch
    if (cond == COND_KEEP) {
        put_line_sel(line, enclosing);
    } else {
        first = (kind == DIR_IFNDEF) ? cond == COND_FALSE : cond == COND_TRUE;
        keep = first ? enclosing : 0;
        taken = kind == DIR_IF && cond == COND_TRUE;
        put_line_sel(line, 0);
    }

    bool end = false;
    while (!end) {
        if (!lex_next_line("%d: %s \nError: too long line found.\n")) {
            return -2;
        }
        char *p = lex_line();
        bool handled = false;  // the directive line has been handed over already
        if (p != nullptr) {
            const int nested = open_kind(p);
            if (nested >= 0) {
                if_depth++;
                if (proc_block(nested, keep) == -2) {
                    return -2;
                }
                handled = true;
            } else if (is_elif(p)) {
                if (kind != DIR_IF) {
                    line_error("Error: %d: %s: cannot analyze.\n", p);
                }
                if (!(list_mode & LIST_MODE_UNDEF)) {
                    support::errmsg("Error: %d: #elif: cannot leave or delete.\n", line_no);
                    support::fatal_exit(1);
                }
                int v;
                eval_directive(DIR_ELIF, line, &v);
                if (v == COND_TRUE && !taken) {
                    keep = enclosing;
                    taken = true;
                } else {
                    keep = 0;
                }
                put_line_sel(line, 0);
                handled = true;
            } else if (cond != COND_KEEP && is_else(p)) {
                put_line_sel(line, 0);
                keep = (first || taken) ? 0 : enclosing;
                handled = true;
            } else if (is_endif(p)) {
                if_depth--;
                if (cond != COND_KEEP) {
                    put_line_sel(line, 0);
                    return 0;
                }
                // The rest of the line is still walked: a comment or literal may open there.
                end = true;
                lex_walk(p + 6, p);
            } else {
                lex_walk(step_char(p), p);
            }
        }
        if (!handled) {
            put_line_sel(line, keep);
        }
    }
    return 0;
}

void cond_reset()
{
    options_reset();
    line_reset();
    lex_reset();
    output_reset();
    eval_reset();
    match_reset();
}

}  // namespace cond
