/* */ #ifdef A
x
