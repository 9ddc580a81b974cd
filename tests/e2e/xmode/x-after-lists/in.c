#if A == 2
two
#endif
