/*
#if A && B
b
#endif
*/
