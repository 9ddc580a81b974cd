#if defined(A) || B
x
#elif C
y
#endif
#if A &&
z
#endif
