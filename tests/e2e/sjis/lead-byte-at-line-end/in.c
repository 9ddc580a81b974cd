s = "•
#ifdef A
x
#endif
"
#ifdef A
y
#endif
