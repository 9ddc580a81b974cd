name = 'N' + 'x' * 255
open('in.c', 'w').write('#ifdef  ' + name + ' \nyes\n#endif\n')
open('stderr', 'w').write('Error: 1: [' + name + ' ]: cannot analyze.\n')
