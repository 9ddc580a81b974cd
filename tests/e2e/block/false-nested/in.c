#if defined(A) && B
p
#ifdef A
q
#endif
#else
r
#endif
