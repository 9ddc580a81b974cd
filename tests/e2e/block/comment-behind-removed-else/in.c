#ifdef A
x
#else /* A
y */
#endif
b
