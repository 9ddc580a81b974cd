c = '•\';
#ifdef A
x
#endif
