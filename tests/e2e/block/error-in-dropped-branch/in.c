#ifdef B
#if (A)
x
#endif
#endif
