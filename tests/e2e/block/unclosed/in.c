a
#ifdef A
x
#ifdef B
y
