line = ('abcdefghij' * 410)[:4093] + '\r\n'
open('in.c', 'w', newline='').write(line + line)
open('stdout', 'w', newline='').write(line + line)
