open('in.c', 'w').write('some line of text\n' * 100000)
