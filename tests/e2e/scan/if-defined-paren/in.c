#if(defined(A))
x
#endif
