#if -1 < 0 && !(-1 < 0u) && 2 > 1 && 1 <= 1 && 1 >= 2 == 0
relations, unsigned when one side is
#endif
#if (1 ? -1 : 0u) > 0
the ?: result takes the unsigned type
#endif
