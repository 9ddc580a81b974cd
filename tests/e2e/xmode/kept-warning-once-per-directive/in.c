#if A &&
#if A &&
#endif
#endif
