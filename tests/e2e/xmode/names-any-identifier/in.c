a
#ifdef _WIN32
win
#endif
#ifndef __cplusplus
c only
#endif
#if defined __GNUC__ && !defined ( _X )
gnu
#endif
#if _X
x
#else
not x
#endif
#ifdef __clang__
clang, not settled
#endif
z
