ok
#ifdef A /* note
x
#endif
