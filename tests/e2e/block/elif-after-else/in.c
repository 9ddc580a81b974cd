#if B
1
#else
2
#elif A
3
#endif
