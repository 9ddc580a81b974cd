a
  #else x
b
