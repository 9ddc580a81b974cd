#if 'a' == 97 && '\n' == 10 && '\x41' == 65 && '\101' == 65
plain characters
#endif
#if '\377' < 0 && '\0' == 0 && '\'' == 39 && '\\' == 92
signed char, escapes
#endif
