// •\
#ifdef A
x
#else
y
#endif
char *s = "ƒ\";
end
