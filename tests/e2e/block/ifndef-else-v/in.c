a
#ifndef A
x
#else
y
#endif
b
