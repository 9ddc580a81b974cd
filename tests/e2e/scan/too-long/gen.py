line = ('0123456789' * 410)[:4094] + '\n'
open('in.c', 'w').write('a\n' + line + 'b\n')
msg = '2: [' + line[:999] + '] \nError: too long line found!\n'
open('stderr', 'w').write(msg[:1024])
