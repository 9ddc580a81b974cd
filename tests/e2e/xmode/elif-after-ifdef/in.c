#ifdef F
f
#elif defined(T)
t
#endif
