#if defined ( A )
sp
#endif
#if defined(_X)
ux
#endif
#if || A
lead-or
#endif
#if A B
two
#endif
#if B || C A
three
#endif
#ifdef
empty
#else
empty-else
#endif
#ifdef A /* note */
c1
#endif
#ifdef A/* note */
c2
#endif
#if /* x */ A /*/ && B
c3
#endif
#if A // && (
c4
#endif
#if defined(A)&&!defined(B)&&1
c5
#endif
#ifdef A // x
c6
#endif
