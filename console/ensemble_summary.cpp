// Summary parts of an ensemble and their merge.
//
// A process that simulates only some of the runs (a worker of --jobs, a slice
// of --slice) writes their summary blocks, in run order, into a part file of
// its own.  The merge reads the parts side by side and writes the blocks in
// run order, which interleaves them: run r comes from the part that owns it.
// Every block is checked against what the model says run r must be (its set,
// the reaction count, one line per reaction), and every part must hold
// exactly its runs, so a summary is only ever written when it describes
// every run once.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "console/console.h"
#include "console/ensemble_internal.h"

namespace plenta {

namespace fs = std::filesystem;

std::string summary_part_name(const std::string& summary_path, int slice, int slices) {
    return summary_path + ".part-" + std::to_string(slice) + "-of-" + std::to_string(slices);
}

namespace ensemble {

std::string worker_part_name(const std::string& out, int worker, int workers) {
    return out + ".worker-" + std::to_string(worker + 1) + "-of-" + std::to_string(workers);
}

std::vector<int> set_of_runs(const ConsoleModel& m) {
    std::vector<int> sets;
    for (std::size_t s = 0; s < m.params.num_repeats.size() && s < m.sets.size(); s++)
        for (int r = 0; r < m.params.num_repeats[s]; r++) sets.push_back(static_cast<int>(s) + 1);
    return sets;
}

namespace {

// One part file read line by line; a line counts only with its line end, so a
// part cut short in its last line is found.
struct PartReader {
    std::string path;
    std::istream* in = nullptr;
    long long line_number = 0;

    bool next(std::string& line) {
        if (!std::getline(*in, line)) return false;
        if (in->eof()) return false;  // no line end: the part was cut short
        line_number += 1;
        return true;
    }
};

std::string part_fault(const PartReader& part, const std::string& what) {
    return "Summary part " + part.path + ": " + what + " Exit.\n";
}

// "<prefix><number>" with nothing else; the number as text.
bool parse_int_after(const std::string& line, const std::string& prefix, long long& value) {
    if (line.compare(0, prefix.size(), prefix) != 0) return false;
    const std::string digits = line.substr(prefix.size());
    if (digits.empty() || digits.size() > 11) return false;
    std::size_t i = digits[0] == '-' ? 1 : 0;
    if (i == digits.size()) return false;
    for (; i < digits.size(); i++)
        if (digits[i] < '0' || digits[i] > '9') return false;
    value = std::stoll(digits);
    return true;
}

// Copies run `run`'s block from the part to out after checking its shape.
// The message of a write to the merged summary that failed, naming it.
std::string cant_write(const std::string& path, int error) {
    return "Can't write " + path + " file (" + std::strerror(error != 0 ? error : EIO) +
           "). Exit.\n";
}

std::string copy_block(PartReader& part, int run, int set_number, int num_rxns, std::FILE* out,
                       const std::string& out_path) {
    std::string line;
    const std::string missing = "run " + std::to_string(run) + " is missing or cut short.";
    if (!part.next(line) || line != "grp 1 rxns " + std::to_string(num_rxns))
        return part_fault(part, missing);
    std::string block = line + "\n";
    if (!part.next(line) || line != "set " + std::to_string(set_number) + " run " +
                                        std::to_string(run))
        return part_fault(part, missing);
    block += line + "\n";
    for (int k = 1; k <= num_rxns; k++) {
        long long count = 0;
        if (!part.next(line) || !parse_int_after(line, std::to_string(k) + " ", count))
            return part_fault(part, missing);
        block += line + "\n";
    }
    errno = 0;
    if (std::fwrite(block.data(), 1, block.size(), out) != block.size())
        return cant_write(out_path, errno);
    return "";
}

}  // namespace

std::string merge_parts(const ConsoleModel& m, const RunShare& outer, int parts,
                        const std::vector<std::string>& part_paths, const std::string& out_path) {
    std::vector<std::unique_ptr<std::ifstream>> files;
    std::vector<std::istream*> streams;
    for (const std::string& path : part_paths) {
        files.push_back(std::make_unique<std::ifstream>(path, std::ios::binary));
        if (!*files.back()) return "Summary part " + path + " is missing. Exit.\n";
        streams.push_back(files.back().get());
    }
    return merge_part_streams(m, outer, parts, streams, part_paths, out_path);
}

std::string merge_part_streams(const ConsoleModel& m, const RunShare& outer, int parts,
                               const std::vector<std::istream*>& streams,
                               const std::vector<std::string>& names,
                               const std::string& out_path) {
    std::vector<std::unique_ptr<PartReader>> readers;
    for (std::size_t p = 0; p < streams.size(); p++) {
        auto reader = std::make_unique<PartReader>();
        reader->path = names[p];
        reader->in = streams[p];
        readers.push_back(std::move(reader));
    }
    if (readers.size() != static_cast<std::size_t>(parts))
        return "The summary needs " + std::to_string(parts) + " parts. Exit.\n";
    std::FILE* out = std::fopen(out_path.c_str(), "wb");
    if (out == nullptr) return format_output_message(kMsgCantOpenOutput, out_path);
    std::string failure;
    const std::vector<int> sets = set_of_runs(m);
    for (std::size_t i = 0; i < sets.size() && failure.empty(); i++) {
        const int run = static_cast<int>(i) + 1;
        if (!outer.contains(run)) continue;
        const int owner = static_cast<int>((i / static_cast<std::size_t>(outer.slices)) %
                                           static_cast<std::size_t>(parts));
        failure = copy_block(*readers[static_cast<std::size_t>(owner)], run, sets[i],
                             m.sizes.num_rxns, out, out_path);
    }
    for (std::size_t p = 0; p < readers.size() && failure.empty(); p++) {
        std::string extra;
        if (std::getline(*readers[p]->in, extra))
            failure = part_fault(*readers[p], "holds more than its runs.");
    }
    errno = 0;
    if (std::fclose(out) != 0 && failure.empty()) failure = cant_write(out_path, errno);
    if (!failure.empty()) std::remove(out_path.c_str());
    return failure;
}

std::string commit_summary(const std::string& tmp, const std::string& out) {
    std::error_code ec;
    fs::rename(tmp, out, ec);
    if (!ec) return "";
    std::remove(tmp.c_str());
    return "Can't rename " + tmp + " to " + out + " (" + ec.message() + "). Exit.\n";
}

}  // namespace ensemble

namespace {

// The slice count of a name "<base>.part-K-of-M" (0 if it is not one), and K.
int slices_of_part_name(const std::string& name, const std::string& base, int& slice) {
    const std::string prefix = base + ".part-";
    if (name.compare(0, prefix.size(), prefix) != 0) return 0;
    const std::string rest = name.substr(prefix.size());
    const std::size_t of = rest.find("-of-");
    if (of == std::string::npos) return 0;
    const std::string k = rest.substr(0, of);
    const std::string mm = rest.substr(of + 4);
    auto number = [](const std::string& t) {
        if (t.empty() || t.size() > 9 || t[0] == '0') return 0;
        for (char c : t)
            if (c < '0' || c > '9') return 0;
        return std::stoi(t);
    };
    slice = number(k);
    const int slices = number(mm);
    return slice >= 1 && slice <= slices ? slices : 0;
}

void print_line(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

}  // namespace

int merge_summary_parts(const ConsoleModel& model) {
    const fs::path summary(model.summary_path);
    const std::string base = summary.filename().string();
    fs::path dir = summary.parent_path();
    if (dir.empty()) dir = ".";
    std::map<int, std::vector<int>> found;  // M -> the K present
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        int slice = 0;
        const int slices = slices_of_part_name(entry.path().filename().string(), base, slice);
        if (slices > 0) found[slices].push_back(slice);
    }
    if (found.empty()) {
        print_line("No summary parts " + model.summary_path + ".part-K-of-M to merge. Exit.\n");
        return 1;
    }
    if (found.size() > 1) {
        std::string counts;
        for (const auto& f : found) counts += " " + std::to_string(f.first);
        print_line("Summary parts of different slice counts (" + counts.substr(1) + ") next to " +
                   model.summary_path + "; remove the stale ones. Exit.\n");
        return 1;
    }
    const int slices = found.begin()->first;
    std::string too_many = ensemble::check_run_total(model);
    if (too_many.empty()) too_many = ensemble::check_slice_count(model, slices);
    if (!too_many.empty()) {
        print_line(too_many);
        return 1;
    }
    std::vector<std::string> parts;
    for (int k = 1; k <= slices; k++) parts.push_back(summary_part_name(model.summary_path, k, slices));
    for (int k = 1; k <= slices; k++) {
        if (!fs::exists(parts[static_cast<std::size_t>(k - 1)])) {
            print_line("Summary part " + parts[static_cast<std::size_t>(k - 1)] +
                       " is missing: slice " + std::to_string(k) + "/" + std::to_string(slices) +
                       " has not finished. Exit.\n");
            return 1;
        }
    }
    const std::string tmp = model.summary_path + ".tmp";
    std::string failure = ensemble::merge_parts(model, RunShare{}, slices, parts, tmp);
    if (failure.empty()) failure = ensemble::commit_summary(tmp, model.summary_path);
    if (!failure.empty()) {
        print_line(failure);
        return 1;
    }
    for (const std::string& part : parts) std::remove(part.c_str());
    return 0;
}

}  // namespace plenta
