#if 0
gone
#endif
#if 1
kept without its directives
#endif
