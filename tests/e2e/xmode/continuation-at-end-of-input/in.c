#if A
a
#endif \
