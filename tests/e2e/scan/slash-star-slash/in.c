a /*/ b
#ifdef A
x
#endif
c */
#ifdef A
y
#endif
