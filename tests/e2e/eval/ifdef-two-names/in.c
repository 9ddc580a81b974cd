ok
#ifdef A B
x
#endif
