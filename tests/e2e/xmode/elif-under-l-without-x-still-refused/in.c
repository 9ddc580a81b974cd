#if T
t
#elif U
u
#endif
