a
#ifdef A
x
y
#endif
last