ok
#if defined(A && B
x
#endif
