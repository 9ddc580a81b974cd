#error don't
#ifdef A
x
#endif
