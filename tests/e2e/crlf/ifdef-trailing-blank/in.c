#ifdef A 
x
#endif // done
