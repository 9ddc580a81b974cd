ok
#if definedX
x
#endif
