n = 100000
text = ''.join('#ifdef A%d\n' % i for i in range(n)) + 'x\n' + '#endif\n' * n
open('in.c', 'w').write(text)
open('stdout', 'w').write(text)
