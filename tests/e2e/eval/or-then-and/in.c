ok
#if A || B && C
x
#endif
