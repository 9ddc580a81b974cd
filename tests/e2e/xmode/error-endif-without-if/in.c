a
#endif
b
