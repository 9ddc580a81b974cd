#if A /* the comment
            runs on */ && B
b
#endif /* and this one
          too */
#else_is_not_a_directive
