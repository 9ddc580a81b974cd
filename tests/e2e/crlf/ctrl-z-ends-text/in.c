#ifdef A
kept
#endif
headtail
after
