#if F && U
false and unknown: false
#endif
#if T || U
true or unknown: true
#endif
#if T && U
true and unknown: U alone
#endif
#if U || F
unknown or false: U alone
#endif
#if U && V
unknown both: as written
#endif
