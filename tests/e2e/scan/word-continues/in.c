#ifdefX A
#endif_
#if_
#elseif
x
