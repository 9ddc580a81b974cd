#if F
f
#  elif U && T
u: the first kept branch opens with #if
#elif V
v
#else
e
#endif
