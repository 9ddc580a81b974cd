#if B
1
#elif A
2
#elif A
3
#else
4
#endif
