/* start
#ifdef A
x
#endif */
y
