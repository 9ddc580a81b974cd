#ifdef A
/* “ú–{Œê */ x
#else
y
#endif
