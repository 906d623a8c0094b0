// plenta-mpi: the console program's ensemble spread over the ranks of an MPI
// job.  Run in the model folder (the working directory holds "constants.txt")
// on a file system that every rank sees:
//
//     mpirun -np P plenta-mpi [--method direct|cr]
//
// Every run draws from its own substream (per-run streams), so rank k of P
// simulates exactly the runs of slice k+1 of P and writes their trajectory
// and event-log files itself.  The summary lines travel to rank 0, which
// checks them against the model and writes the summary file in run order,
// only when every rank succeeded.  The folder then holds the same files,
// byte for byte, as plenta --jobs or P merged slices.
#include <mpi.h>
#include <stdlib.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "console/console.h"
#include "console/ensemble_internal.h"
#include "plenta_version.h"

namespace {

using namespace plenta;

const char kUsage[] =
    "Usage: mpirun -np P plenta-mpi [--method direct|cr] [--help] [--version]\n"
    "\n"
    "Simulates every run of every parameter set of the model named in\n"
    "\"constants.txt\" in the working directory, rank k doing the runs r with\n"
    "(r - 1) mod P = k, each from its own random substream; rank 0 writes the\n"
    "summary file once every rank has written its runs' files.\n";

void print_text(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

// Whether every rank says yes.
bool all_ranks(bool yes) {
    int mine = yes ? 1 : 0;
    int all = 0;
    MPI_Allreduce(&mine, &all, 1, MPI_INT, MPI_MIN, MPI_COMM_WORLD);
    return all == 1;
}

// The bytes of every rank, gathered on rank 0 (empty elsewhere); false when
// they would not fit the counts of one gather.
bool gather_text(const std::string& mine, int rank, int size, std::vector<std::string>& all) {
    long long length = static_cast<long long>(mine.size());
    std::vector<long long> lengths(static_cast<std::size_t>(size), 0);
    MPI_Gather(&length, 1, MPI_LONG_LONG, lengths.data(), 1, MPI_LONG_LONG, 0, MPI_COMM_WORLD);
    int fits = 1;
    std::vector<int> counts(static_cast<std::size_t>(size), 0), displs(static_cast<std::size_t>(size), 0);
    if (rank == 0) {
        long long total = 0;
        for (int r = 0; r < size; r++) {
            counts[static_cast<std::size_t>(r)] = static_cast<int>(lengths[static_cast<std::size_t>(r)]);
            displs[static_cast<std::size_t>(r)] = static_cast<int>(total);
            total += lengths[static_cast<std::size_t>(r)];
        }
        fits = total <= INT_MAX ? 1 : 0;
    }
    MPI_Bcast(&fits, 1, MPI_INT, 0, MPI_COMM_WORLD);
    if (!fits || mine.size() > static_cast<std::size_t>(INT_MAX)) return false;
    std::string joined;
    if (rank == 0) joined.resize(static_cast<std::size_t>(displs.back()) + static_cast<std::size_t>(counts.back()));
    MPI_Gatherv(mine.data(), static_cast<int>(mine.size()), MPI_CHAR, rank == 0 ? &joined[0] : nullptr,
                counts.data(), displs.data(), MPI_CHAR, 0, MPI_COMM_WORLD);
    if (rank == 0)
        for (int r = 0; r < size; r++)
            all.push_back(joined.substr(static_cast<std::size_t>(displs[static_cast<std::size_t>(r)]),
                                        static_cast<std::size_t>(counts[static_cast<std::size_t>(r)])));
    return true;
}

// A rank's summary lines go to a private temporary file, read back whole.
std::string private_part_path() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "plenta-mpi-summary-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) return "";
    close(fd);
    return name.data();
}

std::string read_whole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int run(int rank, int size, int argc, char** argv) {
    ConsoleOptions options;
    std::string fault = parse_options(argc, argv, options);
    if (fault.empty() && (options.jobs > 0 || options.slices > 0 || options.merge_summary ||
                          options.streams_given || options.check))
        fault = "the ranks share out the runs themselves: only --method applies";
    if (!fault.empty()) {
        if (rank == 0) std::fputs(("plenta-mpi: " + fault + "\n").c_str(), stderr);
        return kExitUsage;
    }
    if (options.help) {
        if (rank == 0) print_text(kUsage);
        return 0;
    }
    if (options.version) {
        if (rank == 0) print_text("plenta-mpi " PLENTA_VERSION "\n");
        return 0;
    }

    // Every rank reads the model itself (the folder is shared); the checks
    // give the same answer everywhere, so rank 0 alone prints it.
    ConsoleModel model;
    std::string failure = load_console_model("", model);
    if (rank == 0)
        for (const std::string& warning : model.warnings) std::fputs(warning.c_str(), stderr);
    if (failure.empty()) failure = check_console_run(model, options);
    if (failure.empty()) failure = ensemble::check_run_total(model);
    if (!all_ranks(failure.empty())) {
        if (rank == 0) print_text(failure.empty() ? "Another rank could not read the model. Exit.\n" : failure);
        return 1;
    }

    // Rank 0 makes sure the summary can be written before any run; an older
    // one stays until the new one is complete and renamed over it.
    const std::string tmp = model.summary_path + ".tmp";
    int can_write = 1;
    if (rank == 0) {
        if (std::FILE* f = std::fopen(tmp.c_str(), "wb")) {
            std::fclose(f);
        } else {
            can_write = 0;
            print_text(ensemble::format_output_message(kMsgCantOpenOutput, model.summary_path));
        }
    }
    MPI_Bcast(&can_write, 1, MPI_INT, 0, MPI_COMM_WORLD);
    if (!can_write) return 1;

    RunShare share;
    share.slice = rank + 1;
    share.slices = size;
    const std::string part = private_part_path();
    if (part.empty())
        failure = "Can't create a temporary file for the summary lines of rank " +
                  std::to_string(rank) + ". Exit.\n";
    else
        failure = run_console_share(model, kConsoleEventlogArraysize, options, share, part, nullptr);
    std::string lines;
    if (!part.empty()) {
        if (failure.empty()) lines = read_whole(part);
        std::remove(part.c_str());
    }

    std::vector<std::string> messages, parts;
    const bool gathered = gather_text(failure, rank, size, messages) && gather_text(lines, rank, size, parts);
    int status = 0;
    if (rank == 0) {
        std::string first;
        for (const std::string& m : messages)
            if (first.empty()) first = m;
        if (!gathered) first = "The summary lines are too long to gather on rank 0. Exit.\n";
        if (first.empty()) {
            std::vector<std::istringstream> streams;
            for (const std::string& p : parts) streams.emplace_back(p);
            std::vector<std::istream*> readers;
            std::vector<std::string> names;
            for (int r = 0; r < size; r++) {
                readers.push_back(&streams[static_cast<std::size_t>(r)]);
                names.push_back("of rank " + std::to_string(r));
            }
            first = ensemble::merge_part_streams(model, RunShare{}, size, readers, names, tmp);
            if (first.empty()) first = ensemble::commit_summary(tmp, model.summary_path);
        }
        if (!first.empty()) {
            std::remove(tmp.c_str());
            print_text(first);
            status = 1;
        }
    }
    MPI_Bcast(&status, 1, MPI_INT, 0, MPI_COMM_WORLD);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    MPI_Init(&argc, &argv);
    int rank = 0, size = 1;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    MPI_Comm_size(MPI_COMM_WORLD, &size);
    const int status = run(rank, size, argc, argv);
    MPI_Finalize();
    return status;
}
