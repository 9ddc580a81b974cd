ok
#if 0x1
x
#endif
