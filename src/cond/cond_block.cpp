#include "cond/cond_block.h"

#include "cond/cond_classify.h"
#include "cond/cond_eval.h"
#include "cond/cond_lex.h"
#include "cond/cond_line.h"
#include "cond/cond_match.h"
#include "cond/cond_memo.h"
#include "cond/cond_names.h"
#include "cond/cond_options.h"
#include "cond/cond_output.h"
#include "cond/cond_xblock.h"
#include "support/message.h"
#include "support/sj_string.h"

namespace cond {

// Kept small on purpose: one frame per open conditional, up to IF_DEPTH_MAX of them on the scan
// stack (see SCAN_STACK_SIZE).
int proc_block(int kind, int keep)
{
    char *const line = buff + 1;
    if (++if_depth > IF_DEPTH_MAX) {
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
        lex_skim(keep);
        if (!lex_next_line("%d: %s \nError: too long line found.\n")) {
            return -2;
        }
        char *p = lex_line();
        if (p == nullptr) {
            put_line_sel(line, keep);
            continue;
        }
        const int dir = line_kind;
        if (dir == DIR_IFDEF || dir == DIR_IF || dir == DIR_IFNDEF) {
            if (proc_block(dir, keep) == -2) {
                return -2;
            }
            continue;
        }
        if (dir == DIR_ELIF) {
            if (kind != DIR_IF) {
                line_error("Error: %d: %s: cannot analyze.\n", p);
            }
            if (!(list_mode & LIST_MODE_UNDEF)) {
                support::fatal("Error: %d: #elif: cannot leave or delete.\n", line_no);
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
            continue;
        }
        if (dir == DIR_ELSE && cond != COND_KEEP) {
            lex_check_removed(p);
            put_line_sel(line, 0);
            keep = (first || taken) ? 0 : enclosing;
            continue;
        }
        if (dir == DIR_ENDIF) {
            if_depth--;
            if (cond != COND_KEEP) {
                lex_check_removed(p);
                put_line_sel(line, 0);
                return 0;
            }
            end = true;  // after this line: it is still handed over with the branch's keep flag
        }
        lex_finish(p);
        put_line_sel(line, keep);
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
    memo_reset();
    classify_reset();
    xblock_reset();
    names_reset();
}

}  // namespace cond
