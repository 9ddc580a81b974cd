n = 100000
open('in.c', 'w').write('#ifdef B\n' * n + 'x\n')
