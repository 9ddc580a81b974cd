s = "•\";
#ifdef A
x
#endif
