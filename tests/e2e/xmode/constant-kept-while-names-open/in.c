#if 0
disabled code stays as written
#endif
#if 1
and enabled code
#endif
#if 0 && A
a name in it: evaluated
#endif
