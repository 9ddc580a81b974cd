#if A
a
#if B
b
#endif
