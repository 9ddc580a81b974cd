ok
#ifdef (A)
x
#endif
