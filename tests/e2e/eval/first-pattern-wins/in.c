#ifdef FOO
foo
#endif
#ifdef FX
fx
#endif
#ifdef G
g
#endif
