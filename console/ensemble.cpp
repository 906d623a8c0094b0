// Ensembles on many cores: per-run streams, worker processes and slices.
//
// With one continuing stream, run k's numbers depend on every run before it,
// so runs cannot be shared out.  In per-run stream mode each run instead
// starts from its own substream of generator 1, chosen by its run counter
// (random/substream.cpp), with the Poisson deviate's saved set-up cleared:
// its files then depend only on randseed, its parameter set and its number.
// Any split of the runs over processes writes the same trajectory and
// event-log files, and the summary blocks, merged in run order, the same
// summary file.
//
// Workers are forked processes, not threads: the generator and the Poisson
// state are process-wide by design.  Each worker writes its runs' files and
// its summary blocks into a part of its own; the parent merges the parts once
// every worker has succeeded.  The summary (or a slice's summary part) is
// written under a temporary name and renamed over the previous one at the
// end, so no summary ever claims a run whose files were not written, and the
// previous summary stays until the new one is complete.
//
// The runs are always done by forked workers, one at least, so that the
// parent is free to watch for SIGINT and SIGTERM: it keeps them blocked and
// waits for them and for its workers' ends with sigwaitinfo.  On either
// signal it stops the workers, waits for them, removes the temporary summary
// and the workers' parts, and ends with status 128 + the signal's number.
// Each worker asks the kernel for SIGTERM when its parent dies, so that no
// worker outlives a parent ended by SIGKILL either.
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "console/console.h"
#include "console/ensemble_internal.h"
#include "random/ranlib.h"

namespace plenta {

bool uses_per_run_streams(const ConsoleOptions& options) {
    return options.streams == StreamMode::kPerRun || options.jobs > 0 || options.slices > 0;
}

bool RunShare::contains(long long run) const {
    const long long position = run - 1;
    if (position % slices != slice - 1) return false;
    return (position / slices) % workers == worker;
}

void start_run_substream(std::uint32_t randseed, int run_counter) {
    // The same signed seed that setall is given at start-up.
    const std::int32_t seed = static_cast<std::int32_t>(randseed);
    setsub(seed, seed, run_counter - 1);
}

std::string substream_overrun_warning(int run, std::uint64_t draws) {
    if (draws <= RANLIB_SUBSTREAM_LENGTH) return "";
    return "Warning: run " + std::to_string(run) + " drew " + std::to_string(draws) +
           " random numbers, more than the " + std::to_string(RANLIB_SUBSTREAM_LENGTH) +
           " (2^40) of its substream; its last ones are also the first ones of run " +
           std::to_string(static_cast<long long>(run) + 1) + ".\n";
}

std::string run_failed_message(int run, int set_number) {
    return "Run " + std::to_string(run) + " (set " + std::to_string(set_number) +
           ") failed; no summary was written. Exit.\n";
}

namespace ensemble {

std::string format_output_message(const char* format, const std::string& arg) {
    std::vector<char> text(std::strlen(format) + arg.size() + 1);
    std::snprintf(text.data(), text.size(), format, arg.c_str());
    return text.data();
}

std::string check_run_total(const ConsoleModel& m) {
    long long total = 0;
    for (std::size_t s = 0; s < m.params.num_repeats.size() && s < m.sets.size(); s++)
        total += std::max(0, m.params.num_repeats[s]);
    if (total <= RANLIB_SUBSTREAM_COUNT) return "";
    return "Model file " + m.model_path + ": " + std::to_string(total) +
           " runs; per-run streams serve at most " + std::to_string(RANLIB_SUBSTREAM_COUNT) +
           " runs of one randseed. Exit.\n";
}

std::string check_slice_count(const ConsoleModel& m, long long slices) {
    long long runs = 0;
    for (std::size_t s = 0; s < m.params.num_repeats.size() && s < m.sets.size(); s++)
        runs += std::max(0, m.params.num_repeats[s]);
    if (slices <= std::max(1LL, runs)) return "";
    return "Model file " + m.model_path + ": " + std::to_string(slices) +
           " slices of a summary of " + std::to_string(runs) +
           " runs; a summary can be split into at most as many slices as it has runs. Exit.\n";
}

}  // namespace ensemble

namespace {

void print_text(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

// What a worker tells its parent through memory shared across fork: the run
// in progress (so that a worker that dies can be named by its run) and its
// failure message.
struct WorkerSlot {
    volatile int current_run;
    char message[4096];
};

// Shared anonymous memory for the slots, unmapped when the parent is done.
class WorkerSlots {
public:
    explicit WorkerSlots(int n) : bytes_(sizeof(WorkerSlot) * static_cast<std::size_t>(n)) {
        void* p = mmap(nullptr, bytes_, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        slots_ = p == MAP_FAILED ? nullptr : static_cast<WorkerSlot*>(p);
        if (slots_ != nullptr) std::memset(slots_, 0, bytes_);
    }
    ~WorkerSlots() {
        if (slots_ != nullptr) munmap(slots_, bytes_);
    }
    WorkerSlots(const WorkerSlots&) = delete;
    WorkerSlots& operator=(const WorkerSlots&) = delete;
    WorkerSlot* get() { return slots_; }

private:
    std::size_t bytes_;
    WorkerSlot* slots_ = nullptr;
};

[[noreturn]] void run_worker(ConsoleModel& model, int eventlog_capacity,
                             const ConsoleOptions& options, RunShare share,
                             const std::string& part, WorkerSlot& slot, pid_t parent,
                             const sigset_t& parent_mask) {
    // Ended with the parent, however the parent ends; a parent that died
    // before the request was made has left this worker to another process.
    signal(SIGTERM, SIG_DFL);  // the parent stops its workers with it
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(1);
    sigprocmask(SIG_SETMASK, &parent_mask, nullptr);
    const std::string failure =
        run_console_share(model, eventlog_capacity, options, share, part, &slot.current_run);
    std::snprintf(slot.message, sizeof slot.message, "%s", failure.c_str());
    std::fflush(stderr);
    _exit(failure.empty() ? 0 : 1);
}

// Why worker w failed, naming its run.
std::string worker_failure(const ConsoleModel& model, const WorkerSlot& slot, int wstatus) {
    if (slot.message[0] != '\0') return slot.message;
    const int run = slot.current_run;
    const std::vector<int> sets = ensemble::set_of_runs(model);
    std::string how = WIFSIGNALED(wstatus)
                          ? "was ended by signal " + std::to_string(WTERMSIG(wstatus))
                          : "ended with status " + std::to_string(WEXITSTATUS(wstatus));
    if (run >= 1 && static_cast<std::size_t>(run) <= sets.size())
        return "The worker process of run " + std::to_string(run) + " " + how + ".\n" +
               run_failed_message(run, sets[static_cast<std::size_t>(run) - 1]);
    return "A worker process " + how + " before its first run; no summary was written. Exit.\n";
}

// The signals that end an ensemble early, and the workers' ends, held back
// while the object lives; the parent takes them with sigwaitinfo.
class HeldSignals {
public:
    HeldSignals() {
        sigemptyset(&set_);
        // A signal the process ignores (SIGHUP under nohup) stays ignored:
        // held back, it would be queued and taken as an interruption.
        for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
            struct sigaction current;
            if (sigaction(sig, nullptr, &current) == 0 && current.sa_handler != SIG_IGN)
                sigaddset(&set_, sig);
        }
        sigaddset(&set_, SIGCHLD);
        sigprocmask(SIG_BLOCK, &set_, &previous_);
        // Ignored, SIGCHLD would have the workers reaped unseen.
        struct sigaction default_action {};
        default_action.sa_handler = SIG_DFL;
        sigemptyset(&default_action.sa_mask);
        sigaction(SIGCHLD, &default_action, &previous_child_);
    }
    ~HeldSignals() {
        // Taken here, an interruption has been answered: it must not end
        // the process once more when the mask is restored.
        const timespec now{0, 0};
        sigset_t ends = set_;
        sigdelset(&ends, SIGCHLD);
        while (sigtimedwait(&ends, nullptr, &now) > 0) {
        }
        sigaction(SIGCHLD, &previous_child_, nullptr);
        sigprocmask(SIG_SETMASK, &previous_, nullptr);
    }
    HeldSignals(const HeldSignals&) = delete;
    HeldSignals& operator=(const HeldSignals&) = delete;

    const sigset_t& set() const { return set_; }
    const sigset_t& previous() const { return previous_; }

private:
    sigset_t set_;
    sigset_t previous_;
    struct sigaction previous_child_ {};
};

// Runs the runs of `outer` in `workers` forked processes and merges their
// summary parts into tmp.  On the first failure, or on SIGINT, SIGTERM or
// SIGHUP (*signal_number set), the other workers are stopped; "" or the
// message of that failure.
std::string run_workers(ConsoleModel& model, int eventlog_capacity, const ConsoleOptions& options,
                        const RunShare& outer, int workers, const std::string& out,
                        const std::string& tmp, const HeldSignals& held, int* signal_number) {
    WorkerSlots slots(workers);
    if (slots.get() == nullptr) return "Can't share memory with worker processes. Exit.\n";
    std::vector<std::string> parts;
    for (int w = 0; w < workers; w++) parts.push_back(ensemble::worker_part_name(out, w, workers));

    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t parent = getpid();
    std::vector<pid_t> pids(static_cast<std::size_t>(workers), -1);
    std::string failure;
    for (int w = 0; w < workers && failure.empty(); w++) {
        const pid_t pid = fork();
        if (pid == 0) {
            RunShare share = outer;
            share.worker = w;
            share.workers = workers;
            run_worker(model, eventlog_capacity, options, share, parts[static_cast<std::size_t>(w)],
                       slots.get()[w], parent, held.previous());
        }
        if (pid < 0) failure = "Can't start a worker process (" + std::string(std::strerror(errno)) +
                               "); no summary was written. Exit.\n";
        pids[static_cast<std::size_t>(w)] = pid;
    }

    auto stop_others = [&] {
        for (pid_t p : pids)
            if (p > 0) kill(p, SIGTERM);
    };
    if (!failure.empty()) stop_others();
    // Reaps every worker that has ended; SIGCHLD only says that one has.
    auto reap = [&] {
        for (;;) {
            int wstatus = 0;
            const pid_t pid = waitpid(-1, &wstatus, WNOHANG);
            if (pid <= 0) return;
            auto it = std::find(pids.begin(), pids.end(), pid);
            if (it == pids.end()) continue;
            *it = -1;
            const bool ok = WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0;
            if (!ok && failure.empty() && *signal_number == 0) {
                failure = worker_failure(model, slots.get()[it - pids.begin()], wstatus);
                stop_others();
            }
        }
    };
    for (;;) {
        reap();
        if (std::none_of(pids.begin(), pids.end(), [](pid_t p) { return p > 0; })) break;
        // A second now and then, in case an end was taken by another wait.
        const timespec second{1, 0};
        const int sig = sigtimedwait(&held.set(), nullptr, &second);
        if ((sig == SIGINT || sig == SIGTERM || sig == SIGHUP) && *signal_number == 0) {
            *signal_number = sig;
            stop_others();
        }
    }
    if (*signal_number != 0)
        failure = "Interrupted by signal " + std::to_string(*signal_number) +
                  ": the workers were stopped and no summary was written; a previous one is "
                  "kept. Exit.\n";
    if (failure.empty()) failure = ensemble::merge_parts(model, outer, workers, parts, tmp);
    for (const std::string& part : parts) std::remove(part.c_str());
    return failure;
}

}  // namespace

int run_ensemble(ConsoleModel& model, int eventlog_capacity, const ConsoleOptions& options) {
    std::string failure = check_console_run(model, options);
    if (failure.empty()) failure = ensemble::check_run_total(model);
    if (failure.empty() && options.slices > 0)
        failure = ensemble::check_slice_count(model, options.slices);
    if (!failure.empty()) {
        print_text(failure);
        return 1;
    }
    // A seed the generator cannot take ends the process inside mltmod with
    // the random library's message: here once, not once per worker.
    const std::int32_t seed = static_cast<std::int32_t>(model.params.randseed);
    setall(seed, seed);

    RunShare outer;
    if (options.slices > 0) {
        outer.slice = options.slice;
        outer.slices = options.slices;
    }
    const std::string out = options.slices > 0
                                ? summary_part_name(model.summary_path, options.slice, options.slices)
                                : model.summary_path;
    const std::string tmp = out + ".tmp";

    long long share_runs = 0;
    const std::size_t total = ensemble::set_of_runs(model).size();
    for (std::size_t r = 1; r <= total; r++) share_runs += outer.contains(static_cast<long long>(r));
    const int workers =
        static_cast<int>(std::min<long long>(std::max(1, options.jobs), std::max(1LL, share_runs)));

    // The summary must be creatable before any run, as in the one-stream
    // program.  An older summary (or part) stays until the new one is
    // complete and renamed over it.
    HeldSignals held;
    if (std::FILE* f = std::fopen(tmp.c_str(), "wb")) {
        std::fclose(f);
    } else {
        print_text(ensemble::format_output_message(kMsgCantOpenOutput, out));
        return 1;
    }

    int signal_number = 0;
    failure = run_workers(model, eventlog_capacity, options, outer, workers, out, tmp, held,
                          &signal_number);
    if (failure.empty()) failure = ensemble::commit_summary(tmp, out);
    if (!failure.empty()) {
        std::remove(tmp.c_str());
        print_text(failure);
        return signal_number != 0 ? 128 + signal_number : 1;
    }
    return 0;
}

}  // namespace plenta
