a
#ifdef AA
x
#else /* A */ /**/
y
#endif /* AA */ // /*
b
