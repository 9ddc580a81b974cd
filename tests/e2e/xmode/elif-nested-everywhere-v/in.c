#if U
# if T
ut
# else
uf
# endif
#elif F
# ifdef T
dropped branch, nested resolved too
# endif
#endif
