ok
#if 2
x
#endif
