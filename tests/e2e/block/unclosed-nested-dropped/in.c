#ifdef A
#ifdef B
x
#endif
