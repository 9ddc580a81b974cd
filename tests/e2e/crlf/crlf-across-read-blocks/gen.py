# Lines ending in CR LF (and two in CR CR LF) whose CR is the last byte of a 4, 64 or 256 KiB read
# block, where a reader must look into the next block to tell a line end from a lone CR. The line
# numbers show that no line was split at its CR.
head = b'#ifdef B\r\ndropped\r\n#endif\r\n'
text = bytearray(head)
for last_cr, ending in ((4095, b'\r\n'), (8191, b'\r\n'), (65535, b'\r\n'),
                        (65536 + 4095, b'\r\r\n'), (131071, b'\r\n'), (131072 + 65535, b'\r\n'),
                        (262143, b'\r\n'), (524287, b'\r\r\n')):
    while last_cr - len(text) > 200:
        text += b'x' * 58 + b'\r\n'
    # The line's last CR (the one before its LF) lands at offset last_cr.
    text += b'y' * (last_cr - len(text) - (len(ending) - 2)) + ending
text += b'last\r\n'
open('in.c', 'wb').write(text)
lines = text.split(b'\n')[:-1]
open('stdout', 'wb').write(b''.join(b'%6d: %s\n' % (no, line)
                                    for no, line in enumerate(lines, 1) if no > 3))
