lines = ['l%d\n' % i for i in range(1, 1000002)]
open('in.c', 'w').write(''.join(lines))
open('stdout', 'w').write(''.join('%6d: %s' % (i + 1, l) for i, l in enumerate(lines)))
