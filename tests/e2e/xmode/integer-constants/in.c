#if 010 == 8 && 0x1F == 31 && 0X1f == 31 && 0b101 == 5
bases
#endif
#if 10u == 10 && 10UL == 10 && 10ll == 10 && 10LLU == 10 && 7lu == 7
suffixes
#endif
#if 0xFFFFFFFFFFFFFFFF == -1 && 0xFFFFFFFFFFFFFFFF > 0
hex too large for signed is unsigned
#endif
#if 9223372036854775807 > 0 && -9223372036854775807 - 1 < 0
limits of the signed type
#endif
#if 1 > 2
never
#endif
