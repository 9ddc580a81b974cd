# Wine keeps a Windows file name as its UTF-8 text on the Unix side; the program is handed the
# code page 932 bytes of the same name on its command line, two of its characters ending in 0x5C.
open("表示ソース.c", "w", encoding="utf-8").write("a\n#ifdef A\nx\n#else\ny\n#endif\nb\n")
