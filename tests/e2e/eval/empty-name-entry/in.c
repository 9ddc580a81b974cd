#if defined( )
e
#endif
#ifdef A
a
#endif
#ifdef B
b
#endif
