line = ('abcdefghij' * 410)[:4094]
open('in.c', 'w', newline='').write(line + '\r\n')
msg = '1: [' + line[:999] + '] \nError: too long line found!\n'
open('stderr', 'w', newline='').write(msg[:1024])
