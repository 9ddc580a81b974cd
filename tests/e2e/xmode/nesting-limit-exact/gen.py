# Every level is unknown and simplified: the rewrite works at the deepest nesting too.
n = 250000
open('in.c', 'w').write('#if A && B\n' * n + 'x\n' + '#endif\n' * n)
open('stdout', 'w').write('#if B\n' * n + 'x\n' + '#endif\n' * n)
