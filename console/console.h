// console.h - the console simulator: the formatted reader of the two input
// files ("constants.txt" and the model file), the start-up read that fills
// the model records, and the checks that keep unsafe input from running.
//
// Both files are read with scanf-style formats, but through our own matcher
// over the file's text held in memory (TextScanner), so that every build reads
// a file the same way and no token can overrun a field.  As with the standard
// formatted input, a read that does not match is never diagnosed: the field
// keeps its previous value and the next read starts where matching stopped.
// Input that the format cannot carry safely (too-long names and lines, counts
// and positions out of range) is rejected afterwards by validate_model.
#ifndef PLENTA_CONSOLE_CONSOLE_H
#define PLENTA_CONSOLE_CONSOLE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "model/model.h"
#include "model/event.h"
#include "model/rate_law.h"

namespace plenta {

// ---- Limits of the file format ----

constexpr std::size_t kMaxNameChars = kNameLen - 1;        // species, type, constant names: 83
constexpr std::size_t kMaxFormulaChars = kFormulaLen - 1;  // "undef" formula: 131
constexpr std::size_t kMaxPathChars = 263;                 // every path and output file name
constexpr std::size_t kSkipLineChars = 79;  // header and title lines: reads of at most 79 characters
constexpr std::size_t kMaxSkipLineChars = kSkipLineChars - 1;  // 78 + line end fit one read
constexpr int kNumHeaderLines = 8;
constexpr int kConsoleEventlogArraysize = 1000000;  // events per event-log file

// ---- Formatted reading over a file's text ----

// One target of a formatted read: "%d" int, "%lu" 32-bit unsigned, "%le"
// double, "%s" token.  Built implicitly from a pointer to the field.
struct ScanTarget {
    enum Kind { kInt, kUnsigned32, kDouble, kToken };
    Kind kind;
    void* field;
    ScanTarget(int* p) : kind(kInt), field(p) {}
    ScanTarget(std::uint32_t* p) : kind(kUnsigned32), field(p) {}
    ScanTarget(double* p) : kind(kDouble), field(p) {}
    ScanTarget(std::string* p) : kind(kToken), field(p) {}
};

// A read position in the whole text of one input file.
//
// scan() follows the rules of the standard formatted input for the formats the
// model file uses: a white-space character matches any run of white space
// (none included); other characters must match the text exactly; "%d", "%lu",
// "%le" and "%s" skip leading white space and then need a whole number, a
// decimal floating-point number (inf and nan included) or one token.  At the
// first mismatch the read stops there, the current field and all later ones
// keep their values, and the position stays at the first unmatched character.
// A conversion that fails consumes nothing but the white space before it.
class TextScanner {
public:
    explicit TextScanner(std::string text) : text_(std::move(text)) {}

    // The number of conversions stored.  Callers reading a model file ignore
    // it, as the format prescribes; it is there for tests.  A conversion other
    // than the four above, or a target of the wrong kind, is a programming
    // error and throws std::logic_error.
    int scan(const char* format, std::initializer_list<ScanTarget> targets = {});

    // Reads like a line read into a buffer of max_chars + 1 characters: up to
    // and including the line end, but at most max_chars characters counting
    // the line end ("\r\n" counts as one, so a file behaves the same with
    // either line end).  Null at the end of the text.  `complete` tells
    // whether the line end (or the end of the text) was reached; a line
    // longer than max_chars - 1 characters is left partly unread.
    std::optional<std::string> read_line(std::size_t max_chars, bool* complete = nullptr);

    // The whole next line of any length without its line end ("\n", and a
    // "\r" before it); the characters up to the end of the text for a last
    // line without line end; null when already at the end.
    std::optional<std::string> get_line();

    // The next white-space-delimited token, as "%s" reads it; empty when only
    // white space is left.
    std::string scan_token();

    // Whether the last scan() matched its whole format (every literal and
    // every conversion); a reader that ignores the count can still tell
    // that text was left unmatched, for a warning.
    bool last_scan_complete() const { return last_complete_; }

    // The last "%lu" conversion's number as written, before it was stored
    // modulo 2^32 (saturated at +-10^18): a field such as randseed can then
    // be refused instead of silently taking the wrapped value.
    long long last_unsigned_as_written() const { return last_unsigned_; }

    // The line number (from 1) of a position in the text.
    long long line_of(std::size_t position) const;

    std::size_t pos() const { return pos_; }
    std::size_t size() const { return text_.size(); }
    std::size_t remaining() const { return text_.size() - pos_; }
    bool at_end() const { return pos_ >= text_.size(); }
    const std::string& text() const { return text_; }

private:
    void skip_space();
    bool convert(const ScanTarget& target, char conversion);
    bool scan_int(int& value);
    bool scan_unsigned32(std::uint32_t& value);
    bool scan_double(double& value);
    bool scan_string(std::string& value);

    std::string text_;
    std::size_t pos_ = 0;
    bool last_complete_ = true;
    long long last_unsigned_ = 0;
    mutable std::size_t line_cache_pos_ = 0;  // line_of's last position and its line
    mutable long long line_cache_line_ = 1;
};

// The whole file as bytes; false when it cannot be opened.
bool read_file_text(const std::string& path, std::string& text);

// ---- Line readers of the start-up read ----

// The next line of any length, line end removed; null at the end of the file.
std::optional<std::string> get_line(TextScanner& in);

// The next white-space-delimited token (empty when there is none).  The
// console program's paths hold at most 263 characters; a longer token is
// returned whole and rejected by validate_model through the paths built on it.
std::string scan_line(TextScanner& in);

// ---- The model as start-up reads it ----

// What a model file gives for its formula reactions: named parameters and
// assignment rules (the sections after the simulation parameters), the line
// of every formula reaction's rate, and each parameter set's named-parameter
// changes.  Lines are numbered from 1; 0 where there is none.
struct FormulaSection {
    FormulaScope scope;
    std::vector<std::string> rates;    // per reaction: the formula as written ("" for others)
    std::vector<int> rate_lines;       // per reaction
    std::vector<int> parameter_lines;  // per parameter
    std::vector<int> rule_lines;       // per rule
    std::vector<std::vector<NamedValue>> set_changes;  // per parameter set
    std::vector<std::vector<int>> set_change_lines;
    RuleValues rule_values;  // compiled at load, for monitored rules
};

struct ConsoleModel {
    std::string data_dir;      // directory line of constants.txt, plus "/" or "\"
    std::string model_path;    // data_dir + model file name
    std::string traj_base;     // data_dir + header token 1
    std::string summary_path;  // data_dir + header token 2
    std::string evlog_base;    // data_dir + header token 3
    std::string constants_path;  // the constants.txt that named the model file
    std::vector<Reaction> reactions;
    std::vector<Compound> species;
    ModelSizes sizes;
    SimParams params;
    std::vector<ParamSet> sets;  // num_sets entries; entry 0 (the model as read) stays empty
    // Warning lines of the start-up read (text the reader skipped, a
    // time_start above 0), each ending in a line end; the model runs as read.
    std::vector<std::string> warnings;
    FormulaSection formulas;
    // Events (model/event.h): as read (or as a front end gives them), and
    // compiled by compile_model_events.  A model without events has none.
    std::vector<EventDefinition> event_definitions;
    ModelEvents events;
    // The named parameters' values (scope order) that the runs of the
    // current parameter set start from, which events may change during a
    // run; empty: the values as read.
    std::vector<double> run_parameters;
};

// Text of the model file that the reader did not match where it read a field:
// the format gives such a file a meaning (the field keeps its value and the
// next read starts there), so it is only reported.
struct ReadWarning {
    long long line = 0;    // line of the model file where matching stopped
    std::string where;     // "reaction 0", "parameter set 2", "" for the whole file
    std::string expected;  // the format as text, e.g. "StoP = <number>"
    std::string found;     // the start of the unmatched text
};

// The first text that the reader could not hold or skip as the format means:
// a header or title line longer than 78 characters, or a name longer than its
// field (stored truncated).  Found while reading, reported by validate_model.
struct ReadNotes {
    enum Fault {
        kNone,
        kHeaderLine,    // position = header line number, 1..8
        kTitleLine,     // position = reaction
        kSpeciesName,   // position = species
        kTypeName,      // position = reaction
        kFormula,       // position = reaction
        kConstantName,  // position = reaction, entry = rate constant
    };
    Fault fault = kNone;
    int position = -1;
    int entry = -1;
    std::size_t length = 0;  // characters of the offending text
    // Unmatched text, in file order; a mismatch at the same place as the one
    // before (every later read stopping at one misspelt key) is not repeated,
    // and at most kMaxReadWarnings are kept (warnings_dropped counts the rest).
    std::vector<ReadWarning> warnings;
    long long warnings_dropped = 0;
    std::size_t last_warning_pos = static_cast<std::size_t>(-1);
    long long last_warning_line = 0;
    // randseed as written, before it was stored modulo 2^32, when its line matched.
    bool randseed_read = false;
    long long randseed_as_written = 0;
    // The first line of the events section that does not fit (the read
    // stops there).
    EventError event_fault;
};

constexpr std::size_t kMaxReadWarnings = 20;

// "Warning: model file <path>, line <n> (<where>): ..." and a line end.
std::string format_read_warning(const std::string& model_path, const ReadWarning& warning);

// ---- Start-up reads, in the order the driver performs them ----

// data_dir from the first line of constants.txt: a slash is appended when the
// line holds a slash anywhere, otherwise a backslash.
std::string data_dir_from_line(const std::string& line);

// Reads "constants.txt" at `path`: the directory line and the model file name.
// Returns "" on success, else the message to print.
std::string read_constants_txt(const std::string& path, std::string& data_dir,
                               std::string& model_name);

// The header as the driver reads it: three name tokens (each joined to
// data_dir), then "\n", "num_sets = %d\n", "num_rxns = %d\n", "num_cmpds = %d\n\n".
void read_header(TextScanner& in, ConsoleModel& model, ReadNotes* notes = nullptr);

// Allocates, zero-filled, the arrays that read_constants fills: reactions,
// species, num_subs, num_prods, num_repeats and the parameter sets.  The
// three counts must be positive (validate_header_counts).
void allocate_model(ConsoleModel& model);

// Sections 2 to 5 of the model file (species, reactions, parameters, further
// parameter sets) after skipping the eight header lines.  Never allocates for
// a count that is negative or larger than the text left to read; such a list
// stays empty and validate_model reports its count.
void read_model_sections(TextScanner& in, std::vector<Reaction>& reactions, ModelSizes& sizes,
                         std::vector<Compound>& species, SimParams& params,
                         std::vector<ParamSet>& sets, ReadNotes* notes = nullptr,
                         FormulaSection* formulas = nullptr,
                         std::vector<EventDefinition>* events = nullptr);

// Opens the model file again and reads it with read_model_sections; false
// when the file cannot be opened (the caller prints kMsgCantOpenModel).
bool read_constants(std::vector<Reaction>& reactions, ModelSizes& sizes,
                    std::vector<Compound>& species, SimParams& params,
                    std::vector<ParamSet>& sets, const std::string& path,
                    ReadNotes* notes = nullptr, FormulaSection* formulas = nullptr,
                    std::vector<EventDefinition>* events = nullptr);

// ---- Validation: "" when the model may run, else one message line ----

// The three header counts, before anything is allocated from them: each at
// least 1 and within what a file of file_size bytes can hold.
std::string validate_header_counts(const ConsoleModel& model, std::size_t file_size);

// Everything read_constants filled, the paths and the output file names.
std::string validate_model(const ConsoleModel& model, const ReadNotes& notes);

// What a run of the console program starts from, after validate_model: the
// seed as written in the generator's range, finite times, counts, rate
// constants, volume and tau_error a run can take (the model as read and every
// parameter set's changes), and no output file name that is the model file or
// constants.txt.  Adds the warning for a time_start above 0 to model.warnings.
std::string validate_run_setup(ConsoleModel& model, const ReadNotes& notes);
// Compiles every formula reaction's rate and the rules, and turns the
// parameter sets' named changes into rate changes; "" or one message line
// naming the file, the line and the reaction, parameter or rule.
std::string compile_model_formulas(ConsoleModel& model);

// Compiles the model's events (after compile_model_formulas); "" or one
// message line naming the file, the line and the event.
std::string compile_model_events(ConsoleModel& model);

// "Model file <path>, line <n>, event <k> (<title>), <field>: <message> Exit."
// and a line end (the line and the event where there are).
std::string event_fault_message(const ConsoleModel& model, const EventError& fault);

// ---- The whole start-up read ----

// Sets eventlog_arraysize to 1000000, reads working_dir/constants.txt, the
// header, allocates, reads the model file and validates it.  Returns "" on
// success, or the message line to print on standard output before ending with
// exit status 1.  An empty working_dir means the current directory and leaves
// every path exactly as the files give it; otherwise a relative data directory
// is taken relative to working_dir (so tests and other front ends can load a
// model folder from anywhere).
std::string load_console_model(const std::string& working_dir, ConsoleModel& model);

// ---- Messages of the start-up read ----

extern const char kMsgCantOpenConstants[];  // "Can't open constants.txt file. Exit.\n"
extern const char kMsgNoDataDirLine[];
extern const char kMsgNoModelName[];
extern const char kMsgCantOpenModel[];  // printf format: "Can't open file %s. Exit!\n"

// kMsgCantOpenModel with the path filled in.
std::string cant_open_model_message(const std::string& path);


// ==== Run driver and output files (console/run_driver.cpp, console/output_files.cpp) ====

// ---- Messages of the output files (printf formats, printed on standard output) ----

extern const char kMsgCantOpenOutput[];  // "Can't open %s file. Exit.\n": the file's name

// ---- Output files ----

// An output file written through a large stdio buffer.  Every write, flush
// and close is checked: the first failure (a full disk, a lost device) is
// kept with its errno, so that the driver can end with a message naming the
// file instead of leaving it short without a word.  The destructor closes
// without looking, for the paths out of the driver that already failed.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile() { close(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates (or truncates) path in mode "wt" or "wb"; false when it cannot.
    bool open(const std::string& path, const char* mode);
    // Closes (flushing the buffer); false when this or any earlier write of
    // the file failed.  Closing a file that is not open returns true.
    bool close();
    // Hands the buffer to the system; false when a write of the file failed.
    bool flush();
    bool is_open() const { return file_ != nullptr; }
    void write(const char* data, std::size_t size);
    // Whether a write of the current file has failed so far.
    bool failed() const { return error_ != 0; }
    // The name given to open and the message of the failed write
    // ("Can't write <path> file (<reason>). Exit.\n").
    const std::string& path() const { return path_; }
    std::string write_failure_message() const;

private:
    std::FILE* file_ = nullptr;
    std::vector<char> buffer_;
    std::string path_;
    int error_ = 0;  // errno of the first failed write, flush or close
};

// The trajectory file name "%s_%d" and the event-log file name "%s_%d_%d".
std::string trajectory_file_name(const std::string& traj_base, int run);
std::string eventlog_file_name(const std::string& evlog_base, int run, int file_number);

// Summary: "grp 1 rxns %d\n" and "set %d run %d\n" at the start of a run,
// "%d %d\n" (reaction number, firings) per reaction at its end.
void write_summary_run_start(OutputFile& summary, int num_rxns, int set_number, int run_counter);
void write_summary_fire_counts(OutputFile& summary, const std::vector<int>& fire_count);

// Trajectory: the header "run %d points %d n_mon %d n_rxn %d\n", then one line
// per snapshot: "%g" time, "\t%d" per monitored species, "\t%d" per reaction
// (firings since the previous line, after which prev_fire_count catches up),
// "\n" except on the final line.
void write_trajectory_header(OutputFile& traj, int run_in_set, int points, int num_monit,
                             int num_rxns);
// A monitored position at or past the species count is an assignment rule
// (position - species count), written as its value (%.10g) at the snapshot.
void write_trajectory_line(OutputFile& traj, double t, const std::vector<Compound>& species,
                           const std::vector<int>& monit, const std::vector<int>& fire_count,
                           std::vector<int>& prev_fire_count, bool final_line,
                           const RuleValues* rules = nullptr, double volume = 0.0);

// A large binary file written once, front to back, in big blocks: the event
// log.  Where the file system allows it, whole blocks go from the caller's
// memory straight to the device (O_DIRECT), so that hundreds of megabytes of
// log neither pass through the page cache nor cost the kernel a copy of
// every byte into freshly allocated pages; whatever is not a whole aligned
// block (a buffer's tail, a short last file) goes through the page cache as
// usual.  The bytes on disk are the same either way.  Failures are kept and
// reported as by OutputFile.
class BlockFile {
public:
    // Direct writes need addresses, offsets and lengths in multiples of the
    // device's block; this covers the usual 512- and 4096-byte ones.
    static constexpr std::size_t kAlignment = 4096;

    BlockFile() = default;
    ~BlockFile() { close(); }
    BlockFile(const BlockFile&) = delete;
    BlockFile& operator=(const BlockFile&) = delete;

    // Creates (or truncates) path; false when it cannot.
    bool open(const std::string& path);
    // Closes; false when this or any earlier write of the file failed.
    bool close();
    // Appends size bytes.
    void write(const char* data, std::size_t size);
    bool failed() const { return error_ != 0; }
    const std::string& path() const { return path_; }
    std::string write_failure_message() const;

private:
    void write_all(const char* data, std::size_t size);
    void stop_direct();

    int fd_ = -1;
    bool direct_ = false;
    std::uint64_t offset_ = 0;
    std::string path_;
    int error_ = 0;
};

// The event-log buffer of the console program: `capacity` times followed by
// `capacity` reaction numbers in one block aligned for direct writes, so
// that a full buffer is, byte for byte on a little-endian machine, the
// event-log file it becomes.
class EventLogBuffer {
public:
    EventLogBuffer() = default;
    void allocate(int capacity);
    int capacity() const { return capacity_; }
    double* times() { return block_.get(); }
    double* rxns() { return block_.get() + capacity_; }

private:
    struct Free {
        void operator()(double* p) const;
    };
    std::unique_ptr<double, Free> block_;
    int capacity_ = 0;
};

// Event-log block: n times, then n reaction numbers, 64-bit little-endian
// doubles; one write when the reaction numbers follow the times in memory
// (a full EventLogBuffer), else one write per array.
void write_eventlog_block(BlockFile& evlog, const double* times, const double* rxns, int n);

// ---- One run, shared by the console driver and other front ends ----

// What a front end records of a run.  snapshot() is called on every snapshot
// boundary before the engine is called there, and once more (final_snapshot)
// after the run's last engine call.  empty_event_log() is called whenever the
// event-log buffer is full, and by a tau leap whose batch does not fit in it;
// it must take the buffer's events and set the event count to 0.
class RunRecorder {
public:
    virtual ~RunRecorder() = default;
    virtual void snapshot(double t, const std::vector<Compound>& species,
                          const std::vector<int>& fire_count, bool final_snapshot) = 0;
    virtual void empty_event_log(int& event_count) = 0;
};

// The changes of one parameter set applied on top of counts and reactions
// (species counts, then rate constant values); the caller restores the model
// as read first.
void apply_param_set_changes(const ParamSet& set, std::vector<int>& counts,
                             std::vector<Reaction>& reactions);

// Set s's named parameters where the reactions' rate constants do not carry
// them: in the monitored rules, and as the values every run's events start
// from (run_parameters, left empty in a model without events).
void apply_param_set_parameters(ConsoleModel& m, std::size_t s);

// One run, exactly as the console program draws it: counts from run_counts,
// fire_count zeroed, every propensity and the first event from time 0, then
// vesk (or vesk_tau under tau-leaping) while time_end > t, from the t given
// (time_start); a snapshot time short of time_end by rounding only ends the
// run too (span_continues).  With eventlog_flag 1, buffer holds eventlog_arraysize events
// and event_count ends with the events left in it.  Returns false when the
// time stalled (an engine call neither advanced t nor fired anything; see
// stalled_run_message), with t at the stalled time, or when the engine
// raised model.params.fault (cleared when the run starts; the state is then
// not usable).  Exceptions of the
// recorder pass through.  With a method of the engine's registry the exact
// runs (any algorithm but tau-leaping, which the caller must not pass) draw
// the first event and every interval by that method instead; its state is
// rebuilt from the run's propensities.
bool simulate_run(ConsoleModel& model, const StoichMatrix& matrix,
                  const std::vector<int>& run_counts, std::vector<int>& fire_count,
                  EventLog buffer, RunRecorder& recorder, double& t, int& event_count,
                  RunMethod* method = nullptr);

// The line printed when a run's time cannot advance.
std::string stalled_run_message(double t, double snapshot_interval);

// ---- Command line (console/options.cpp) ----

// Everything the command line can set; the defaults are the program without
// arguments.
// Where the runs draw their random numbers: all from one continuing stream
// seeded once (the program without options), or each run from its own
// substream of generator 1 chosen by its run number (random/substream.cpp),
// so that a run's output depends only on randseed, its parameter set and its
// number, and runs can be done in any order by any number of processes.
enum class StreamMode { kContinuing, kPerRun };

struct ConsoleOptions {
    // --method: the exact method of the runs whose algorithm is not
    // tau-leaping: "" the one the model file selects (--method direct), else
    // a name of the engine's registry (make_run_method: cr, rssa), the same
    // process drawn with another use of the random numbers.
    std::string method;
    bool help = false;                           // --help, -h
    bool version = false;                        // --version
    StreamMode streams = StreamMode::kContinuing;  // --streams continuing|per-run
    bool streams_given = false;
    int jobs = 0;         // --jobs N: worker processes (0: not given; given alone: the cores)
    int slice = 0;        // --slice K/M: K (0: not given)
    int slices = 0;       //              M
    bool merge_summary = false;  // --merge-summary
    bool check = false;          // --check: read and validate the model, run nothing
};

constexpr int kExitUsage = 2;  // exit status for a wrong command line
extern const char kUsageText[];

// Reads argv[1 .. argc - 1] into options; "" on success, else what is wrong
// (an unknown option or argument, a missing or unknown value).
std::string parse_options(int argc, const char* const argv[], ConsoleOptions& options);

// The standard-error text for a wrong command line: "plenta: <fault>" and a
// pointer to --help.
std::string usage_error_text(const std::string& fault);

// ---- Ensembles: per-run streams, worker processes, slices (console/ensemble*.cpp) ----

// Whether the options ask for per-run streams (--streams per-run, --jobs or
// --slice).
bool uses_per_run_streams(const ConsoleOptions& options);

// The runs one ensemble process simulates, by run counter r (from 1): slice K
// of M holds the runs with (r - 1) mod M == K - 1; within it, worker w (from
// 0) of N holds every N-th of them, those with ((r - 1) div M) mod N == w.
struct RunShare {
    int slice = 1, slices = 1;
    int worker = 0, workers = 1;
    bool contains(long long run) const;
};

// Installs run `run_counter`'s substream of the stream that randseed seeds
// (setsub with index run_counter - 1): run 1 draws what the continuing stream
// would draw first.
void start_run_substream(std::uint32_t randseed, int run_counter);

// "" while a run's draws stayed within its substream (2^40 values), else the
// warning line that its last draws are also the first ones of the next run.
std::string substream_overrun_warning(int run, std::uint64_t draws);

// The line added to a failure message of an ensemble process: which run
// failed, and that no summary claims it.
std::string run_failed_message(int run, int set_number);

// The summary part of slice K of M: summary_path + ".part-K-of-M".
std::string summary_part_name(const std::string& summary_path, int slice, int slices);

// The checks run_console_model makes before any file is written (the method
// against the algorithm, the snapshot point count): "" or the message.
std::string check_console_run(const ConsoleModel& model, const ConsoleOptions& options);

// Simulates the runs of `share` in this process, each from its own substream:
// their trajectory and event-log files, and their summary lines in run order
// into summary_out.  Keeps *current_run (when given) at the run in progress.
// Returns "" or the failure message (naming the run that failed).
std::string run_console_share(ConsoleModel& model, int eventlog_capacity,
                              const ConsoleOptions& options, const RunShare& share,
                              const std::string& summary_out, volatile int* current_run);

// --streams per-run, --jobs, --slice: every run (or the slice's runs) from its
// own substream, in this process or in forked workers; the summary (or the
// slice's summary part) is written under a temporary name and renamed only
// when every run succeeded.  Returns the exit status.
int run_ensemble(ConsoleModel& model, int eventlog_capacity, const ConsoleOptions& options);

// --merge-summary: joins the summary parts of the M slices into the summary
// file, in run order, after checking that they hold every run exactly once;
// deletes the parts.  Returns the exit status.
int merge_summary_parts(const ConsoleModel& model);

// ---- Run driver ----

// Simulates every run of every parameter set of a model that
// load_console_model returned without fault, writing the summary, trajectory
// and event-log files.  eventlog_capacity is the number of events per
// event-log file (1000000 in the program; tests use small ones).  Prints a
// failure message on standard output and returns 1 when an output file
// cannot be created, or when the options do not apply to the model (the
// composition-rejection method with tau-leaping), before any file is
// written; otherwise returns 0.
int run_console_model(ConsoleModel& model, int eventlog_capacity = kConsoleEventlogArraysize,
                      const ConsoleOptions& options = ConsoleOptions());

// --check: load_console_model and the checks of the options, then what was
// read (describe_model), the warnings and the verdict on standard output;
// nothing is run and no file is written.  Returns 0 when the model can run.
int check_console_model(const std::string& working_dir, const ConsoleOptions& options);

// The species, reactions (types, substrates, products, rate constants),
// parameters, monitored species and parameter sets of a loaded model.
std::string describe_model(const ConsoleModel& model);

// The whole program: load_console_model(working_dir), then run_console_model
// (or check_console_model with --check).
// Returns the process exit status.
int run_plenta(const std::string& working_dir = "",
               int eventlog_capacity = kConsoleEventlogArraysize,
               const ConsoleOptions& options = ConsoleOptions());

}  // namespace plenta

#endif  // PLENTA_CONSOLE_CONSOLE_H
