#ifndef A
x
#elif B
y
#endif
