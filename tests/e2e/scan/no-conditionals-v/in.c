int a;
x
