#include "tree/tree_run.h"
int main(int argc, char **argv) { return tree::run(argc, argv); }
