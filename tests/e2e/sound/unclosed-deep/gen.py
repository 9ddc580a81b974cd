n = 100000
open('in.c', 'w').write('#ifdef A\n' * n + 'x\n')
