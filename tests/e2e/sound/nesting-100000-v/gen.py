n = 100000
text = '#ifdef A\n#else\n' * n + 'x\n' + '#endif\n' * n
open('in.c', 'w').write(text)
open('stdout', 'w').write(text)
