s = "abc\
#ifdef A
def";
#ifdef A
x
#endif
