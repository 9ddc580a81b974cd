#ifdef/**/A
x
#endif
