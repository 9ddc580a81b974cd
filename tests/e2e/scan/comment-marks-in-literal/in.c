s = "/*"; c = '"';
#ifdef A
x
#endif
