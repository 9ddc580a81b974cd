#ifdef A
#ifdef B
x
#endif /* B
*/
#endif
b
