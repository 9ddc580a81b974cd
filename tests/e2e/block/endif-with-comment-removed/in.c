#ifdef A
x
#endif /* not walked
#ifdef B
y
#endif
