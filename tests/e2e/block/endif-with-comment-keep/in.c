#ifdef A
x
#endif /* still
#ifdef B
comment */
y
