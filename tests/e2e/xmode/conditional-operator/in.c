#if T ? 1 : U
known condition picks: true
#endif
#if F ? U : 0
known condition picks: false
#endif
#if U ? 1 : 0
unknown condition: as written
#endif
#if T ? U : 0
picked branch unknown: as written
#endif
