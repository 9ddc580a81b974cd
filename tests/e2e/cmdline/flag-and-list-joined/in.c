#ifdef A
x
#else
y
#endif
z
