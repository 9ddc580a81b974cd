#ifdef ABC
1
#endif
#ifdef AC
2
#endif
#ifdef ABBC
3
#endif
#ifdef XY
4
#endif
#ifdef X12Y
5
#endif
#ifdef XYZ
6
#endif
#ifdef A_OLD
7
#endif
#ifdef abc
8
#endif
