// plenta: simulates every run of every parameter set of the model named in
// "constants.txt" in the working directory.  No arguments; the exit status is
// 0 after the last run, 1 when an input or output file fails.
#include "console/console.h"

int main() { return plenta::run_plenta(); }
