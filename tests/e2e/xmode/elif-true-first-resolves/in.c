#if F
f
#elif T
t alone
#elif U
u
#else
e
#endif
