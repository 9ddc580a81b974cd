ok
#if A /* note
x
#endif
