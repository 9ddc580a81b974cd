top
#ifdef A
a
/* note
#else
*/
b
#endif
