x; #ifdef A
y
