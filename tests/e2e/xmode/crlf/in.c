#if A && \
  B
b
#elif C
c
#endif
