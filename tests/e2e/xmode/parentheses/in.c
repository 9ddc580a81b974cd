#if (T || U) && (F || V)
(true) and (V): the true group goes, F goes in the other
#endif
#if !(T && U)
inside !: only truth counts
#endif
#if (T && U) + 1
in arithmetic nothing is dropped
#endif
