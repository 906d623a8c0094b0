// The console program's output files: the summary file, one trajectory file
// per run and the binary event-log files.
//
// The text files go through one large stdio buffer each, so that a long run
// writes in big blocks; the event log, hundreds of megabytes in a long run,
// goes in blocks of a million events, straight to the device where it can
// (BlockFile).  Every file is closed (hence flushed) by its owner's
// destructor on every path out of the driver.  Each write, flush and close
// is checked; the driver turns the first failure into a message naming the
// file.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "console/console.h"

namespace plenta {

const char kMsgCantOpenOutput[] = "Can't open %s file. Exit.\n";

namespace {

constexpr std::size_t kFileBufferBytes = std::size_t{1} << 20;  // 1 MiB per open file

// Whether doubles are stored little-endian in memory, so that the event log's
// arrays can be written as they are.  Decided at compile time where the
// compiler says so, else by looking at the bytes of 1.0.
bool host_is_little_endian() {
#if defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__)
    return __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
#else
    const double one = 1.0;  // 0x3FF0000000000000: the last byte is 0 when little-endian
    unsigned char bytes[sizeof one];
    std::memcpy(bytes, &one, sizeof one);
    return bytes[0] == 0;
#endif
}

static_assert(sizeof(double) == 8 && sizeof(std::uint64_t) == 8,
              "event-log values are 64-bit IEEE 754 doubles");

// The n values as little-endian 64-bit patterns, in one write.
void write_doubles_le(BlockFile& out, const double* values, int n) {
    const std::size_t bytes = static_cast<std::size_t>(n) * 8;
    if (n <= 0) return;
    if (host_is_little_endian()) {
        out.write(reinterpret_cast<const char*>(values), bytes);
        return;
    }
    std::vector<char> le(bytes);
    for (int i = 0; i < n; i++) {
        std::uint64_t bits;
        std::memcpy(&bits, &values[i], 8);
        for (int b = 0; b < 8; b++)
            le[static_cast<std::size_t>(i) * 8 + static_cast<std::size_t>(b)] =
                static_cast<char>((bits >> (8 * b)) & 0xFF);
    }
    out.write(le.data(), bytes);
}

bool is_aligned(const void* p) {
    return reinterpret_cast<std::uintptr_t>(p) % BlockFile::kAlignment == 0;
}

void append_int(std::string& line, int value) {
    char digits[16];
    auto result = std::to_chars(digits, digits + sizeof digits, value);
    line.append(digits, result.ptr);
}

void append_tab_int(std::string& line, int value) {
    line.push_back('\t');
    append_int(line, value);
}

}  // namespace

bool OutputFile::open(const std::string& path, const char* mode) {
    close();
    path_ = path;
    error_ = 0;
    file_ = std::fopen(path.c_str(), mode);
    if (file_ == nullptr) return false;
    if (buffer_.empty()) buffer_.resize(kFileBufferBytes);  // kept for the next file
    std::setvbuf(file_, buffer_.data(), _IOFBF, buffer_.size());
    return true;
}

bool OutputFile::close() {
    if (file_ == nullptr) return error_ == 0;
    errno = 0;
    if (std::fclose(file_) != 0 && error_ == 0) error_ = errno != 0 ? errno : EIO;
    file_ = nullptr;
    return error_ == 0;
}

bool OutputFile::flush() {
    if (file_ == nullptr) return error_ == 0;
    errno = 0;
    if (std::fflush(file_) != 0 && error_ == 0) error_ = errno != 0 ? errno : EIO;
    return error_ == 0;
}

void OutputFile::write(const char* data, std::size_t size) {
    if (file_ == nullptr || size == 0) return;
    errno = 0;
    if (std::fwrite(data, 1, size, file_) != size && error_ == 0) error_ = errno != 0 ? errno : EIO;
}

std::string OutputFile::write_failure_message() const {
    return "Can't write " + path_ + " file (" + std::strerror(error_ != 0 ? error_ : EIO) +
           "). Exit.\n";
}

std::string trajectory_file_name(const std::string& traj_base, int run) {
    return traj_base + "_" + std::to_string(run);
}

std::string eventlog_file_name(const std::string& evlog_base, int run, int file_number) {
    return evlog_base + "_" + std::to_string(run) + "_" + std::to_string(file_number);
}

void write_summary_run_start(OutputFile& summary, int num_rxns, int set_number, int run_counter) {
    std::string lines = "grp 1 rxns ";
    append_int(lines, num_rxns);
    lines += "\nset ";
    append_int(lines, set_number);
    lines += " run ";
    append_int(lines, run_counter);
    lines += '\n';
    summary.write(lines.data(), lines.size());
}

void write_summary_fire_counts(OutputFile& summary, const std::vector<int>& fire_count) {
    std::string lines;
    for (std::size_t r = 0; r < fire_count.size(); r++) {
        append_int(lines, static_cast<int>(r) + 1);  // reaction numbers start at 1
        lines += ' ';
        append_int(lines, fire_count[r]);
        lines += '\n';
    }
    summary.write(lines.data(), lines.size());
}

void write_trajectory_header(OutputFile& traj, int run_in_set, int points, int num_monit,
                             int num_rxns) {
    std::string line = "run ";
    append_int(line, run_in_set);
    line += " points ";
    append_int(line, points);
    line += " n_mon ";
    append_int(line, num_monit);
    line += " n_rxn ";
    append_int(line, num_rxns);
    line += '\n';
    traj.write(line.data(), line.size());
}

void write_trajectory_line(OutputFile& traj, double t, const std::vector<Compound>& species,
                           const std::vector<int>& monit, const std::vector<int>& fire_count,
                           std::vector<int>& prev_fire_count, bool final_line,
                           const RuleValues* rules, double volume) {
    char time_text[64];
    int len = std::snprintf(time_text, sizeof time_text, "%g", t);
    std::string line(time_text, static_cast<std::size_t>(len));
    const int num_species = static_cast<int>(species.size());
    for (int s : monit) {
        if (s < num_species) {
            append_tab_int(line, species[static_cast<std::size_t>(s)].count);
        } else if (rules != nullptr) {
            char value[40];
            int n = std::snprintf(value, sizeof value, "\t%.10g",
                                  rules->value(s - num_species, species, volume));
            line.append(value, static_cast<std::size_t>(n));
        }
    }
    for (std::size_t r = 0; r < fire_count.size(); r++) {
        append_tab_int(line, fire_count[r] - prev_fire_count[r]);
        prev_fire_count[r] = fire_count[r];
    }
    if (!final_line) line += '\n';
    traj.write(line.data(), line.size());
}

bool BlockFile::open(const std::string& path) {
    close();
    path_ = path;
    error_ = 0;
    offset_ = 0;
    const int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
#ifdef O_DIRECT
    // A file system without direct I/O refuses the flag at open.
    fd_ = ::open(path.c_str(), flags | O_DIRECT, 0666);
    direct_ = fd_ >= 0;
    if (fd_ < 0 && errno != EINVAL) return false;
#endif
    if (fd_ < 0) fd_ = ::open(path.c_str(), flags, 0666);
    return fd_ >= 0;
}

bool BlockFile::close() {
    if (fd_ < 0) return error_ == 0;
    if (::close(fd_) != 0 && error_ == 0) error_ = errno != 0 ? errno : EIO;
    fd_ = -1;
    direct_ = false;
    return error_ == 0;
}

// From here on every byte goes through the page cache.
void BlockFile::stop_direct() {
#ifdef O_DIRECT
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags < 0 || ::fcntl(fd_, F_SETFL, flags & ~O_DIRECT) != 0) error_ = errno != 0 ? errno : EIO;
#endif
    direct_ = false;
}

void BlockFile::write(const char* data, std::size_t size) {
    if (fd_ < 0 || size == 0 || error_ != 0) return;
    if (direct_) {
        const std::size_t whole = is_aligned(data) && offset_ % kAlignment == 0
                                      ? size / kAlignment * kAlignment
                                      : 0;
        write_all(data, whole);
        data += whole;
        size -= whole;
        if (size > 0 && direct_) stop_direct();
    }
    write_all(data, size);
}

// Writes every byte, resuming after short writes and interruptions.  A
// device that refuses a direct write (a larger block than assumed) gets it
// again through the page cache.
void BlockFile::write_all(const char* data, std::size_t size) {
    while (size > 0 && error_ == 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EINVAL && direct_) {
                stop_direct();
                continue;
            }
            error_ = errno != 0 ? errno : EIO;
            return;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
        offset_ += static_cast<std::uint64_t>(n);
    }
}

std::string BlockFile::write_failure_message() const {
    return "Can't write " + path_ + " file (" + std::strerror(error_ != 0 ? error_ : EIO) +
           "). Exit.\n";
}

void EventLogBuffer::Free::operator()(double* p) const { std::free(p); }

void EventLogBuffer::allocate(int capacity) {
    const std::size_t bytes = static_cast<std::size_t>(capacity) * 2 * sizeof(double);
    const std::size_t rounded = (bytes + BlockFile::kAlignment - 1) / BlockFile::kAlignment * BlockFile::kAlignment;
    block_.reset(static_cast<double*>(std::aligned_alloc(BlockFile::kAlignment, rounded)));
    if (!block_) throw std::bad_alloc();
    std::fill(block_.get(), block_.get() + 2 * static_cast<std::size_t>(capacity), 0.0);
    capacity_ = capacity;
}

void write_eventlog_block(BlockFile& evlog, const double* times, const double* rxns, int n) {
    if (n > 0 && rxns == times + n && host_is_little_endian()) {
        evlog.write(reinterpret_cast<const char*>(times), static_cast<std::size_t>(n) * 16);
        return;
    }
    write_doubles_le(evlog, times, n);
    write_doubles_le(evlog, rxns, n);
}

}  // namespace plenta
