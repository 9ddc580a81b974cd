// Å" not a quote
Å" x
#ifdef A
x
#endif
