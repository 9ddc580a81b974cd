#ifdef A
x
#endif
last