/*
#ifdef A
*/
#ifdef A
x
#endif
