ok
#if A == 1
x
#endif
