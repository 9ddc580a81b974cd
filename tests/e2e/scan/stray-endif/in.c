a
 #endif
b
