int a;

  # define X 1
x
