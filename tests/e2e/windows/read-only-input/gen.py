# A file its owner may only read (FILE_ATTRIBUTE_READONLY on Windows): reading it needs no more.
import os

os.chmod("in.c", 0o444)
