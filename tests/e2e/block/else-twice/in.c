#ifdef A
1
#else
2
#else
3
#endif
end
