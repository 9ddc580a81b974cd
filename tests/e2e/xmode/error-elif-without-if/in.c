a
#elif A
b
