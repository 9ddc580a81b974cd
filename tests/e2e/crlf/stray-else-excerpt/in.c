a
#else
