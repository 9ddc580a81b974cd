#ifdef A
/*
#else
*/
x
#endif
