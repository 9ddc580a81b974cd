#ifdef A
x
  #  elif B  
y
#endif
