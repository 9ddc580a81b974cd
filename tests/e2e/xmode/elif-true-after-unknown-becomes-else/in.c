#ifdef U
u
#elif T /* true */
t: the rest goes
#elif V
v
#else
e
#endif
