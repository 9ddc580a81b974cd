line = ('abcdefghij' * 410)[:4095]
open('in.c', 'w').write(line)
msg = '1: [' + line[:999] + '] \nError: too long line found!\n'
open('stderr', 'w').write(msg[:1024])
