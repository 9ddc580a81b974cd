#if VER >= 3
ver ok
#endif
#if VER > 3
ver too new
#endif
#if HEX == 16 && NEG < 0 && NEG == -2
hex and neg
#endif
#if BIG > 0 && BIG + 1 == 0
unsigned wraps
#endif
#if V_ONE == 7 && V_TWO * 2 == 14
wildcard values
#endif
#if OFF == 0 && !defined(OFF)
undefined counts 0
#endif
#if defined(VER) && VER
plain defined
#endif
