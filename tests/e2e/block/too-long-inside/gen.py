line = ('0123456789' * 410)[:4094] + '\n'
open('in.c', 'w').write('#ifdef A\nx\n' + line + '#endif\n')
msg = '3: [' + line[:999] + '] \nError: too long line found.\n'
open('stderr', 'w').write(msg[:1024])
