// The run of velkrun-tree: the command line, the trial run of the options, the walk, the worker
// threads that run velkrun on each file, the report in sorted path order and the exit status.
#pragma once

namespace tree {

// One whole run over argv. Returns the exit status: 0 when no file failed or was refused (under
// --check: and none would change), 1 when one failed (under --check: or would change), 2 for a
// usage error, 3 when the only problems are files velkrun refused, 129/130/143 after an
// interrupt.
int run(int argc, char **argv);

// Puts the run's state and every module of the program back to their process-start values.
void run_reset();

}  // namespace tree
