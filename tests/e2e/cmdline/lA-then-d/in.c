#ifdef A
x
#else
y
#endif
z
#ifdef X
xx
#endif
