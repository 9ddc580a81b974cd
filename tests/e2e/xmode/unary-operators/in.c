#if -A == -5 && +A == 5 && ~A == -6 && !A == 0 && !!A == 1
unary
#endif
#if A && -1u > 0 && ~0u == 18446744073709551615u
unsigned negation wraps
#endif
