ok
#if 10
x
#endif
