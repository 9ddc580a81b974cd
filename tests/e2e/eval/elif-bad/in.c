ok
#if 0
x
#elif A && B || C
y
#endif
