'
#ifdef A
x
#endif
