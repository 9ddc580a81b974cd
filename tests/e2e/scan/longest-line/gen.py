line = ('abcdefghij' * 410)[:4093] + '\n'
last = ('0123456789' * 410)[:4094]
open('in.c', 'w').write(line + last)
open('stdout', 'w').write('     1: ' + line + '     2: ' + last)
