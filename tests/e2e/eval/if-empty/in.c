ok
#if
x
#endif
