#if __has_include(<sys/x.h>) && T
has_include stays, T goes
#endif
#if FOO(1, (2)) || !T
FOO() is open, !T goes
#endif
#if defined(__has_include)
undefined under -lA
#endif
