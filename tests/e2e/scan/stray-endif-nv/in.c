a
#endif // x
b
