#ifdef A
ifdef-A
#endif
#ifndef A
ifndef-A
#endif
#ifdef B
ifdef-B
#endif
#if defined(A) && B
and-keep
#endif
#if !defined(A) && B
not-and
#endif
#if 0
zero
#endif
#if 1 || B
one-or
#endif
#if defined(A) || B
or-true
#endif
