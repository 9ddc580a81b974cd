#if A * B == 14 && A / B == 3 && A % B == 1 && A + B == 9 && A - B == 5
arithmetic
#endif
#if B && -7 / 2 == -3 && -7 % 2 == -1 && -7 / 2u > 0
signed and unsigned division
#endif
#if A && 9223372036854775807 + 1 < 0
signed overflow wraps as the preprocessor does
#endif
