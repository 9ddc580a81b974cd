a
last