s = "a\"b
#ifdef A
x
#endif
"
#ifdef A
y
#endif
