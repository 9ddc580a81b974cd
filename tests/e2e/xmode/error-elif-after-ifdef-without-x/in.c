#ifdef A
#elif B
#endif
