#if U
u
#elif F
f goes with its line
#elif V
v
#endif
