ok
#ifdef ƒ\
x
#endif
