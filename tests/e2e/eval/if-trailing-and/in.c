ok
#if A &&
x
#endif
