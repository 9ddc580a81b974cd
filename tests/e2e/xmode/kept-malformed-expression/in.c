#if A +
malformed
#endif
#if (A
unbalanced
# ifdef A
nested still resolved
# endif
#endif
