a
#ifdef A
x
#else
y
#endif
b
