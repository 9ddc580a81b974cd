#if  B   /* note */ ||C
untouched: nothing can be dropped
#endif
#if defined(A)&&B/*x*/
  #  if 1 && (A) && C // tail
nested
  #  endif
#endif
