#ifdef N256
yes
#endif
#ifdef N257
no
#endif
