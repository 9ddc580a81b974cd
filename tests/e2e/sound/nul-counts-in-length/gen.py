line = 'ab\0' + 'c' * 4091 + '\n'
open('in.c', 'w').write(line)
open('stderr', 'w').write('1: [ab] \nError: too long line found!\n')
