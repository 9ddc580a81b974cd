# Wine shows the host's root as drive Z:; the case folder, @CASE@ in cmd, is known only here.
import os

cmd = open("cmd").read()
open("cmd", "w").write(cmd.replace("@CASE@", os.getcwd().replace("/", "\\")))
