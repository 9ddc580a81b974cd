#if defined(A) && \
    B && \
    !defined(D)
b
#endif
#if B \
    || D
only B
#endif
#ifdef \
A
a
#endif
after
