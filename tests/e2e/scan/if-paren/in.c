#if(A)
x
#endif
