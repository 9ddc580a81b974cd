a
#ifdef AA
x
#endif /* AA
  */
b
