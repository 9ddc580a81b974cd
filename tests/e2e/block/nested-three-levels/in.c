#ifdef A
a1
#ifdef B
b1
#ifdef C
c1
#endif
#else
b2
#ifndef C
nc
#else
c2
#endif
#endif
a2
#endif
