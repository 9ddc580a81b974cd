line = ('abcdefghij' * 410)[:4093] + '\n'
open('in.c', 'w').write('#ifdef A\n' + line + '#endif\n')
open('stdout', 'w').write(line)
