#if A
#endif
