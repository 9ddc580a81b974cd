#ifdef A
x
#endif