ok
#if defined A
x
#endif
