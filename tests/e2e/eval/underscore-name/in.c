ok
#if _X
x
#endif
