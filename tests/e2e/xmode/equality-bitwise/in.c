#if F == 6 && F != 7 && (F & 4) == 4 && (F ^ 3) == 5 && (F | 1) == 7
bitwise
#endif
#if F & 8
never
#endif
