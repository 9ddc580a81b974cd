#if defined()
e
#endif
