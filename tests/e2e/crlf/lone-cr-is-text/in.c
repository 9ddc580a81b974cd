#ifdef Ax
#endif
