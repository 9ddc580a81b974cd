#error don't
#ifdef A
x
#endif
'
#ifdef A
y
#endif
