a
#else
b
