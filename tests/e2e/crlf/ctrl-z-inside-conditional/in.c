#ifdef A
kept

#endif
after
