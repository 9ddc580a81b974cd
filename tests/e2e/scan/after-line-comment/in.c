// note /*
#ifdef A
x
#endif
