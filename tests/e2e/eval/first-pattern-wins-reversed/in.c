#ifdef FOO
foo
#endif
#ifdef FX
fx
#endif
