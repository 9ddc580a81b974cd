#if F
f
#elif T +
malformed: kept as an unknown #elif, which becomes #if
#elif T
t: after an unknown branch, #else
#endif
