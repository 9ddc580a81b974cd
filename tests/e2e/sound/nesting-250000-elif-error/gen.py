# The deepest stack the run can need: every level open, then the evaluator and the message with
# its excerpt on top of the innermost one.
n = 250000
open("in.c", "w").write("#if defined(A)\n" * n + "x\n#elif defined(\n" + "#endif\n" * n)
