#ifdef A
x
#else /* not walked
y
#endif
#ifdef A
z
#endif
