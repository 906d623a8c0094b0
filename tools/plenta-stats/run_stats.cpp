// The plenta-stats driver: the command line, the model folder, the stream
// of runs from the summary file, one table per parameter set, and the
// messages.  Each run is read from its trajectory file, checked against the
// model and the summary's firing totals, and added to its set's table only
// when the whole file is sound; otherwise one line names the file, and the
// remaining runs are summarised all the same.
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "console/console.h"
#include "plenta_version.h"
#include "tools/plenta-stats/stats.h"

namespace plenta_stats {

const char kHelpText[] =
    "Usage: plenta-stats [--out DIR] [--no-progress] FOLDER\n"
    "       plenta-stats --help | --version\n"
    "\n"
    "Ensemble statistics of the runs that plenta wrote for a model.\n"
    "\n"
    "Input: FOLDER is the model folder, the working directory plenta ran in.\n"
    "  It reads FOLDER/constants.txt, the model file it names (species names,\n"
    "  monitored species, snapshot interval, the header's trajectory base name\n"
    "  and summary file name), the summary file (which run belongs to which\n"
    "  parameter set, and every run's firing totals) and the trajectory file\n"
    "  <traj>_<run> of every run listed there.\n"
    "\n"
    "Output: one CSV file per parameter set k, <summary>_set<k>_stats.csv,\n"
    "  where <summary> is the summary file name without its extension; next to\n"
    "  the summary file, or in DIR with --out.  Header row, then one row per\n"
    "  snapshot time:\n"
    "    time                     the snapshot time\n"
    "    <S>_mean, <S>_sd         mean and sample standard deviation (n - 1) of\n"
    "    <S>_min, <S>_max         the count of monitored species S over the runs,\n"
    "                             and its smallest and largest value\n"
    "    R<n>_firings_mean        mean firings of reaction n in the interval that\n"
    "                             ends at this time (0 on the first row)\n"
    "    runs                     how many runs this row summarises\n"
    "  A run's last line normally falls on the snapshot grid and is that time's\n"
    "  row.  When it does not (time_start not below time_end), it gets a row of\n"
    "  its own time; 'runs' tells how many runs each row holds.  A set without\n"
    "  runs gets the header row only.\n"
    "\n"
    "A trajectory file that is missing, cut short, not of this model, or whose\n"
    "firings do not add up to the summary's totals is left out with one line on\n"
    "standard error naming it; the rest is summarised and the exit status is 1.\n"
    "A summary that lists fewer runs of a set than the model gives it (plenta\n"
    "was interrupted, or the file is empty) is summarised as far as it goes\n"
    "and also ends with status 1.  A relative data directory in constants.txt\n"
    "(\"./\") is taken relative to FOLDER.\n"
    "Exit status: 0 when every run was summarised, 1 when a run was left out or\n"
    "a file could not be read or written, 2 for a wrong command line.\n"
    "\n"
    "Memory does not depend on the number of runs: the files are read one at a\n"
    "time into running means and variances (Welford's method).  On a terminal a\n"
    "progress line is shown on standard error; --no-progress turns it off.\n"
    "plenta-stats --version prints the release number of this build.\n"
    "\n"
    "Example: plenta-stats out/gene-expression\n";

int parse_arguments(int argc, char** argv, Options& options, std::ostream& out,
                    std::ostream& err) {
    for (int i = 1; i < argc; i++) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            out << kHelpText;
            return 0;
        }
        if (arg == "--version") {
            out << "plenta-stats " PLENTA_VERSION "\n";
            return 0;
        }
        if (arg == "--no-progress") {
            options.progress = false;
        } else if (arg == "--out" || arg.compare(0, 6, "--out=") == 0) {
            if (arg == "--out") {
                if (i + 1 >= argc) {
                    err << "plenta-stats: --out needs a directory\n";
                    return 2;
                }
                options.out_dir = argv[++i];
            } else {
                options.out_dir = arg.substr(6);
            }
        } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
            err << "plenta-stats: unknown option '" << arg << "' (see plenta-stats --help)\n";
            return 2;
        } else if (options.folder.empty()) {
            options.folder = arg;
        } else {
            err << "plenta-stats: one model folder only (see plenta-stats --help)\n";
            return 2;
        }
    }
    if (options.folder.empty()) {
        err << "plenta-stats: no model folder given (see plenta-stats --help)\n";
        return 2;
    }
    return -1;
}

namespace {

// A line on standard error, redrawn in place, at most a few times a second
// and only once the job has taken a moment, so short jobs print nothing.
class Progress {
public:
    Progress(bool enabled, std::ostream& err, long long total)
        : enabled_(enabled), err_(err), total_(total), start_(Clock::now()), last_(start_) {}

    void update(long long done, int set_number) {
        if (!enabled_) return;
        const auto now = Clock::now();
        if (now - start_ < std::chrono::milliseconds(500) || now - last_ < std::chrono::milliseconds(200))
            return;
        last_ = now;
        err_ << "\rplenta-stats: run " << done << " of " << total_ << " (set " << set_number << ")"
             << std::flush;
        shown_ = true;
    }
    // Erases the line, so that a message or the end starts on a clean line.
    void clear() {
        if (!shown_) return;
        err_ << "\r\033[K" << std::flush;
        shown_ = false;
    }

private:
    using Clock = std::chrono::steady_clock;
    bool enabled_;
    std::ostream& err_;
    long long total_;
    Clock::time_point start_, last_;
    bool shown_ = false;
};

// A console message without its line end and its closing "Exit." / "Exit!".
std::string plain_message(std::string message) {
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
    for (const char* tail : {" Exit.", " Exit!"}) {
        const std::size_t n = std::strlen(tail);
        if (message.size() >= n && message.compare(message.size() - n, n, tail) == 0)
            message.erase(message.size() - n);
    }
    return message;
}

bool read_whole_file(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) return false;
    text = buffer.str();
    return true;
}

std::string check_totals(const Trajectory& run, const SummaryRun& listed) {
    for (std::size_t r = 0; r < run.firing_totals.size(); r++)
        if (run.firing_totals[r] != listed.totals[r])
            return "firings of reaction " + std::to_string(r + 1) + " add up to " +
                   std::to_string(run.firing_totals[r]) + ", the summary file gives " +
                   std::to_string(listed.totals[r]) + " (cut short, or from another run)";
    return "";
}

// Everything one invocation works with.
struct Job {
    const Options& options;
    std::ostream& out;
    std::ostream& err;
    plenta::ConsoleModel model;
    TrajectoryLayout layout;
    std::vector<std::string> monitored_names;
    long long runs_listed = 0;
    long long runs_left_out = 0;
    bool failed = false;  // a file could not be read or written
};

void report(Job& job, Progress& progress, const std::string& line) {
    progress.clear();
    job.err << "plenta-stats: " << line << "\n";
}

void write_table(Job& job, Progress& progress, const SetTable& table) {
    const std::string path = csv_path(job.model.summary_path, job.options.out_dir, table.set_number);
    if (!write_csv(path, table, job.monitored_names)) {
        report(job, progress, path + ": cannot write the table of set " +
                                  std::to_string(table.set_number));
        job.failed = true;
        return;
    }
    progress.clear();
    job.out << "set " << table.set_number << ": " << table.runs_summarised << " runs, "
            << table.rows.size() << " snapshot times -> " << path << "\n";
}

void start_table(Job& job, SetTable& table, int set_number) {
    table = SetTable{};
    table.set_number = set_number;
    table.layout = job.layout;
}

// One listed run: its trajectory file read, checked and added.
void summarise_run(Job& job, Progress& progress, SetTable& table, const SummaryRun& listed) {
    const std::string path = plenta::trajectory_file_name(job.model.traj_base, listed.run_counter);
    const std::string which = "; run " + std::to_string(listed.run_counter) + " (set " +
                              std::to_string(listed.set_number) + ") left out";
    std::string text;
    if (!read_whole_file(path, text)) {
        report(job, progress, path + ": cannot open the trajectory file" + which);
        job.runs_left_out++;
        return;
    }
    Trajectory run;
    std::string problem = parse_trajectory(text, job.layout, run);
    if (problem.empty() && !listed.has_totals)
        problem = "the summary file holds no firing totals for this run: it did not finish";
    if (problem.empty()) problem = check_totals(run, listed);
    if (!problem.empty()) {
        report(job, progress, path + ": " + problem + which);
        job.runs_left_out++;
        return;
    }
    add_run(table, run);
}

bool load_model(Job& job) {
    std::error_code ec;
    const std::filesystem::path folder(job.options.folder);
    if (!std::filesystem::is_directory(folder, ec)) {
        job.err << "plenta-stats: " << job.options.folder << ": not a readable folder\n";
        return false;
    }
    const std::string message = plenta::load_console_model(job.options.folder, job.model);
    if (message == plenta::kMsgCantOpenConstants) {
        job.err << "plenta-stats: " << job.options.folder
                << ": cannot read constants.txt in it (not a model folder, or not readable)\n";
        return false;
    }
    if (!message.empty()) {
        job.err << "plenta-stats: " << job.options.folder
                << ": the model cannot be read: " << plain_message(message) << "\n";
        return false;
    }
    job.layout.num_monit = job.model.sizes.num_monit;
    job.layout.num_rxns = job.model.sizes.num_rxns;
    job.layout.snapshot_interval = job.model.params.snapshot_interval;
    job.layout.time_start = job.model.params.time_start;
    for (int position : job.model.params.monit)
        job.monitored_names.emplace_back(job.model.species[static_cast<std::size_t>(position)].name);
    return true;
}

}  // namespace

int run_stats(const Options& options, std::ostream& out, std::ostream& err) {
    Job job{options, out, err, {}, {}, {}, 0, 0, false};
    if (!load_model(job)) return 1;
    if (!options.out_dir.empty() && !std::filesystem::is_directory(options.out_dir)) {
        err << "plenta-stats: " << options.out_dir << ": the --out folder does not exist\n";
        return 1;
    }
    const std::string& summary_path = job.model.summary_path;
    std::error_code ec;
    if (std::filesystem::is_directory(summary_path, ec)) {
        err << "plenta-stats: " << summary_path << ": is a folder, not the summary file\n";
        return 1;
    }
    SummaryReader summary(summary_path, job.layout.num_rxns);
    if (!summary.is_open()) {
        err << "plenta-stats: " << summary_path
            << ": cannot open the summary file (has plenta run in this folder?)\n";
        return 1;
    }
    const int num_sets = job.model.params.num_sets;
    Progress progress(options.progress, err, options.progress ? count_summary_runs(summary_path) : 0);

    SetTable table;
    start_table(job, table, 1);
    // Runs listed per set, against the runs the model gives each set.
    std::vector<long long> listed_in_set(static_cast<std::size_t>(num_sets) + 1, 0);
    SummaryRun listed;
    while (summary.next(listed)) {
        if (listed.set_number < table.set_number || listed.set_number > num_sets) {
            report(job, progress, summary_path + ": run " + std::to_string(listed.run_counter) +
                                      " is of set " + std::to_string(listed.set_number) +
                                      ", out of order or not in the model; reading stops here");
            job.failed = true;
            break;
        }
        // The runs of a set are consecutive: a new set number closes the
        // table of the set before (and of any set without runs between).
        while (listed.set_number > table.set_number) {
            write_table(job, progress, table);
            start_table(job, table, table.set_number + 1);
        }
        job.runs_listed++;
        listed_in_set[static_cast<std::size_t>(listed.set_number)]++;
        summarise_run(job, progress, table, listed);
        progress.update(job.runs_listed, listed.set_number);
    }
    if (!summary.error().empty()) {
        report(job, progress, summary_path + ": " + summary.error() + "; reading stops here");
        job.failed = true;
    }
    for (;;) {
        write_table(job, progress, table);
        if (table.set_number >= num_sets) break;
        start_table(job, table, table.set_number + 1);
    }
    progress.clear();
    // A summary cut short (an interrupted run, an empty file) lists fewer
    // runs than the model has: its tables hold only those, which is no
    // success.  Not checked after a reading error, already reported.
    if (summary.error().empty() && !job.failed) {
        for (int s = 1; s <= num_sets; s++) {
            const long long expected = job.model.params.num_repeats[static_cast<std::size_t>(s) - 1];
            const long long got = listed_in_set[static_cast<std::size_t>(s)];
            if (got == expected) continue;
            err << "plenta-stats: " << summary_path << ": lists " << got << " runs of set " << s
                << ", the model gives it " << expected
                << (got < expected ? " (the summary is incomplete: did plenta finish?)\n"
                                   : " (the summary is of another model)\n");
            job.failed = true;
        }
    }
    if (job.runs_left_out > 0)
        err << "plenta-stats: " << job.runs_left_out << " of " << job.runs_listed
            << " runs left out (named above)\n";
    return (job.runs_left_out > 0 || job.failed) ? 1 : 0;
}

}  // namespace plenta_stats
