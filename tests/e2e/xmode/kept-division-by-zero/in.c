#if 1 / A
division by zero of known values
#endif
#if 0 && 1 / A
not evaluated: no error
#endif
#if 5 % A || U
remainder by zero
#endif
