// Pieces shared by the ensemble files of the console program (worker
// processes, slices, summary parts and their merge), and of the MPI launcher
// tools/plenta-mpi, which runs the same shares on its ranks.
#ifndef PLENTA_CONSOLE_ENSEMBLE_INTERNAL_H
#define PLENTA_CONSOLE_ENSEMBLE_INTERNAL_H

#include <istream>
#include <string>
#include <vector>

#include "console/console.h"

namespace plenta {
namespace ensemble {

// The summary lines of worker w (from 0) of N, next to the file `out` that
// they are merged into: out + ".worker-<w+1>-of-<N>".
std::string worker_part_name(const std::string& out, int worker, int workers);

// The set number (from 1) of every run, by run counter - 1.
std::vector<int> set_of_runs(const ConsoleModel& m);

// "" when the model's runs, over all sets, fit in the generator's substreams
// (at most RANLIB_SUBSTREAM_COUNT); else the message.
std::string check_run_total(const ConsoleModel& m);

// "" when a summary split into `slices` slices has no slice without a run
// (at most as many slices as the model has runs, one at least); else the
// message.  Bounds the parts a merge looks for by what a summary can hold.
std::string check_slice_count(const ConsoleModel& m, long long slices);

// Writes the summary blocks of the runs of `outer`, in run order, into
// out_path, run r taken from part ((r - 1) div outer.slices) mod parts; every
// block is checked against the model and every part must hold exactly its
// runs.  "" or the message; out_path is removed on failure.
std::string merge_parts(const ConsoleModel& m, const RunShare& outer, int parts,
                        const std::vector<std::string>& part_paths, const std::string& out_path);

// The same over parts already open as streams (named in messages by names).
std::string merge_part_streams(const ConsoleModel& m, const RunShare& outer, int parts,
                               const std::vector<std::istream*>& streams,
                               const std::vector<std::string>& names,
                               const std::string& out_path);

// Renames the finished summary tmp to out; "" or the message (tmp removed).
std::string commit_summary(const std::string& tmp, const std::string& out);

// A printf-style message with one "%s" filled in.
std::string format_output_message(const char* format, const std::string& arg);

}  // namespace ensemble
}  // namespace plenta

#endif  // PLENTA_CONSOLE_ENSEMBLE_INTERNAL_H
