#include "cond/cond_options.h"

namespace cond {

int opt_v;
int opt_n;
int opt_T;
int list_mode;

char *list_name[LIST_MAX];
int list_value[LIST_MAX];
int list_count;

void options_reset()
{
    opt_v = 0;
    opt_n = 0;
    opt_T = 0;
    list_mode = 0;
    for (int i = 0; i < LIST_MAX; i++) {
        list_name[i] = nullptr;
        list_value[i] = 0;
    }
    list_count = 0;
}

}  // namespace cond
