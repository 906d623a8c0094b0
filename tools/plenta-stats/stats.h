// stats.h - ensemble statistics over the outputs of the console program.
//
// plenta-stats reads a model folder (constants.txt, the model file, the
// summary file and one trajectory file per run) and writes, per parameter set,
// one CSV table: for every snapshot time the mean, standard deviation, minimum
// and maximum of every monitored species over the runs of the set, and the
// mean number of firings of every reaction in the interval ending there.
//
// Memory does not grow with the number of runs: the summary file is read as
// a stream, one trajectory file is held at a time, and every table cell is a
// running accumulator (Welford 1962) updated once per run.
#ifndef PLENTA_TOOLS_PLENTA_STATS_STATS_H
#define PLENTA_TOOLS_PLENTA_STATS_STATS_H

#include <cstdio>
#include <fstream>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace plenta_stats {

// ---- Running moments of one table cell ----

// Count, mean and sum of squared deviations after Welford, "Note on a method
// for calculating corrected sums of squares and products", Technometrics 4
// (1962): numerically stable in one pass, unlike the sum of squares minus the
// squared sum, which cancels badly for large counts with a small spread.
struct RunningMoments {
    long long n = 0;
    double mean = 0.0;
    double m2 = 0.0;  // sum of squared deviations from the running mean
    // Exact for integer counts (the mean printed is sum / n), in 128 bits so
    // that counts near 2^63 cannot overflow it.
    __extension__ __int128 sum = 0;
    long long min = 0;
    long long max = 0;
};

void add_sample(RunningMoments& moments, long long value);

// sum / n: the correctly rounded mean of integer samples (0 without any).
double exact_mean(const RunningMoments& moments);

// Sample standard deviation (divisor n - 1); 0 for a single value, as the
// std function of MATLAB and Octave gives.
double sample_sd(const RunningMoments& moments);

// ---- Layout of one trajectory file ----

// What the model says every trajectory file of it holds.
struct TrajectoryLayout {
    int num_monit = 0;
    int num_rxns = 0;
    double snapshot_interval = 0.0;
    double time_start = 0.0;  // the first data line is the first snapshot at or after it
};

// The time of snapshot j, j * snapshot_interval, as the console program
// prints a time ("%g": six significant digits).
std::string grid_time_text(long long j, double snapshot_interval);

// One line of a trajectory file after the header.
struct TrajectoryLine {
    double time = 0.0;        // as printed
    bool on_grid = false;     // the time prints as that of a snapshot j
    long long grid_index = 0;  // j, when on the grid
};

// One whole trajectory file, parsed and checked.
struct Trajectory {
    int run_in_set = 0;
    int points = 0;
    std::vector<TrajectoryLine> lines;
    // Row-major, one row per line: num_monit counts, then num_rxns firings.
    std::vector<long long> values;
    std::vector<long long> firing_totals;  // column sums of the firings
};

// Parses the text of a trajectory file.  Returns "" when it is a complete
// file of this layout, else what is wrong with it (one phrase, no file name).
//
// Data lines are written only at exact multiples of the snapshot interval, so
// each must print as the time of some snapshot j, with j increasing from line
// to line (a line may be missing where the simulated time drifted off the
// grid).  The final line usually falls on the grid too; when it does not (a
// run whose time_start is not below time_end) it is kept as off the grid.
std::string parse_trajectory(const std::string& text, const TrajectoryLayout& layout,
                             Trajectory& out);

// ---- The summary file, as a stream of runs ----

struct SummaryRun {
    int set_number = 0;
    int run_counter = 0;  // over all sets; names the trajectory file
    bool has_totals = false;  // the run finished: one total per reaction
    std::vector<long long> totals;
};

// Reads "grp 1 rxns %d", "set %d run %d" and the "%d %d" totals of one run
// after the other, without holding more than one run.
class SummaryReader {
public:
    SummaryReader(const std::string& path, int num_rxns);
    bool is_open() const { return in_.is_open(); }

    // The next run; false at the end of the file or at text that is not a
    // summary line (then error() says where).
    bool next(SummaryRun& run);
    const std::string& error() const { return error_; }

private:
    bool read_line(std::string& line);  // false at the end
    std::ifstream in_;
    int num_rxns_;
    long long line_number_ = 0;
    std::string pending_;
    bool has_pending_ = false;
    std::string error_;
};

// Runs listed in a summary file ("set" lines), for the progress line.
long long count_summary_runs(const std::string& path);

// ---- One table per parameter set ----

// Rows in time order; a final line off the grid gets a row of its own time,
// placed after a grid row of the same time.
struct RowKey {
    double time = 0.0;
    int off_grid = 0;
    bool operator<(const RowKey& other) const {
        if (time != other.time) return time < other.time;
        return off_grid < other.off_grid;
    }
};

struct SnapshotRow {
    std::vector<RunningMoments> species;  // one per monitored species
    std::vector<RunningMoments> firings;  // one per reaction
    long long runs = 0;
};

struct SetTable {
    int set_number = 0;
    TrajectoryLayout layout;
    std::map<RowKey, SnapshotRow> rows;
    long long runs_summarised = 0;
};

// Adds every line of one run to the table.
void add_run(SetTable& table, const Trajectory& run);

// Column names: time, <species>_mean, _sd, _min, _max per monitored species,
// R<n>_firings_mean per reaction, runs.  Names are quoted where CSV needs it.
std::string csv_header(const std::vector<std::string>& monitored_names, int num_rxns);

// The table as CSV; false when the file cannot be written.
bool write_csv(const std::string& path, const SetTable& table,
               const std::vector<std::string>& monitored_names);

// "<stem>_set<k>_stats.csv": stem is the summary file name without its
// extension, in out_dir when given, else next to the summary file.
std::string csv_path(const std::string& summary_path, const std::string& out_dir, int set_number);

// ---- The whole tool ----

struct Options {
    std::string folder;
    std::string out_dir;  // empty: next to the summary file
    bool progress = false;  // a progress line on standard error
};

// Parses the command line; returns -1 to go on, else the exit status (after
// printing the help text or a usage error).
int parse_arguments(int argc, char** argv, Options& options, std::ostream& out,
                    std::ostream& err);

extern const char kHelpText[];

// Reads the folder, writes the tables.  Messages go to err, one line each;
// the list of tables written to out.  Returns 0 when every run of every set
// was summarised, 1 when a run was left out or a file could not be read or
// written.
int run_stats(const Options& options, std::ostream& out, std::ostream& err);

}  // namespace plenta_stats

#endif  // PLENTA_TOOLS_PLENTA_STATS_STATS_H
