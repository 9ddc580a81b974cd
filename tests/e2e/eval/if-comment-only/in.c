ok
#if // note
x
#endif
