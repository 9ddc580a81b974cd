#include "cond/cond_options.h"

namespace cond {

int opt_v;
int opt_n;
int opt_T;
int opt_x;
int list_mode;

char *list_name[LIST_MAX];
int list_value[LIST_MAX];
int list_count;
std::uint64_t list_num[LIST_MAX];
int list_uns[LIST_MAX];

void options_reset()
{
    opt_v = 0;
    opt_n = 0;
    opt_T = 0;
    opt_x = 0;
    list_mode = 0;
    for (int i = 0; i < LIST_MAX; i++) {
        list_name[i] = nullptr;
        list_value[i] = 0;
        list_num[i] = 0;
        list_uns[i] = 0;
    }
    list_count = 0;
}

}  // namespace cond
