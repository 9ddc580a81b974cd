ok
#ifdef _X
x
#endif
