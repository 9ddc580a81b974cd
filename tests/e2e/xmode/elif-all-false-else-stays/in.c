#if F
f
#elif !T
nt
#else
only the #else branch, without directives
#endif
