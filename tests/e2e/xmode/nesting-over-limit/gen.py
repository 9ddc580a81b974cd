n = 250001
open('in.c', 'w').write('#if A\n' + '#if B || A\n' * (n - 1) + 'x\n' + '#endif\n' * n)
