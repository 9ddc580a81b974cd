name = 'N' + 'x' * 254
open('in.c', 'w').write('#ifdef ' + name + '\nyes\n#endif\n')
open('stdout', 'w').write('yes\n')
