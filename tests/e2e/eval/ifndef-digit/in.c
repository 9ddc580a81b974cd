ok
#ifndef 1A
x
#endif
