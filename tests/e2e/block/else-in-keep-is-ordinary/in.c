#ifdef A
#ifdef B
x
#else
y
#endif
#else
z
#endif
