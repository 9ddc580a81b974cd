/* Demo input for velkrun. */
#include <stdio.h>

#ifdef USE_COLOR
static const char *greeting = "\033[32mhello\033[0m";
#else
static const char *greeting = "hello";
#endif

#if defined(DEBUG) || defined(TRACE)
#define LOG(msg) fprintf(stderr, "%s\n", msg)
#else
#define LOG(msg) ((void)0)
#endif

#ifndef PLATFORM_LEGACY
int main(void)
{
    LOG("start");
    puts(greeting);
    return 0;
}
#endif
