#if A = 1
assignment
#endif
#if "s"
string
#endif
#if 1.0
floating
#endif
#if L'a'
wide character
#endif
#if 1 << 64
shift beyond the width
#endif
#ifdef A B
two names
#endif
#ifdef 3
a number
#endif
#ifdef
no name
#endif
