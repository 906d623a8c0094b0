// The formatted-input matcher over a file's text, and the line readers.
//
// The model file's syntax is defined by scanf-style formats.  Reading through
// the C library's fscanf would make the result depend on the platform (how
// much of a malformed number is consumed, how an overflowing integer is
// stored, the width of unsigned long) and would let a long token overrun a
// fixed field.  This matcher implements the conversions the formats use, the
// same way on every build, over the whole file held in memory.
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "console/console.h"

namespace plenta {

namespace {

// White space as the C locale's isspace defines it.
bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Whether the text at `at` begins with `word`, ignoring case (for inf and nan).
bool starts_with_nocase(const std::string& text, std::size_t at, const char* word) {
    for (std::size_t k = 0; word[k] != '\0'; k++)
        if (at + k >= text.size() || lower(text[at + k]) != word[k]) return false;
    return true;
}

std::size_t digits_from(const std::string& text, std::size_t at) {
    std::size_t end = at;
    while (end < text.size() && is_digit(text[end])) end++;
    return end - at;
}

}  // namespace

void TextScanner::skip_space() {
    while (pos_ < text_.size() && is_space(text_[pos_])) pos_++;
}

// Signed decimal integer.  An overflowing value is stored as the nearest int
// (INT_MAX or INT_MIN), so that a huge count is a large count, not a wrapped
// one; the C library leaves this case undefined.
bool TextScanner::scan_int(int& value) {
    skip_space();
    std::size_t at = pos_;
    bool negative = false;
    if (at < text_.size() && (text_[at] == '+' || text_[at] == '-')) negative = text_[at++] == '-';
    std::size_t n = digits_from(text_, at);
    if (n == 0) return false;
    long long v = 0;
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    for (std::size_t k = at; k < at + n; k++) {
        v = v * 10 + (text_[k] - '0');
        if (v > limit) v = limit;  // saturate; keep consuming the digits
    }
    value = static_cast<int>(negative ? -v : v);
    pos_ = at + n;
    return true;
}

// Unsigned integer, stored modulo 2^32 into a 32-bit field.  A leading minus
// negates modulo 2^32, as the C library's unsigned conversions do.
bool TextScanner::scan_unsigned32(std::uint32_t& value) {
    skip_space();
    std::size_t at = pos_;
    bool negative = false;
    if (at < text_.size() && (text_[at] == '+' || text_[at] == '-')) negative = text_[at++] == '-';
    std::size_t n = digits_from(text_, at);
    if (n == 0) return false;
    std::uint32_t v = 0;
    long long written = 0;
    constexpr long long kSaturation = 1000000000000000000LL;
    for (std::size_t k = at; k < at + n; k++) {
        v = v * 10u + static_cast<std::uint32_t>(text_[k] - '0');  // wraps modulo 2^32
        // Saturate before the product could leave long long's range.
        written = written <= kSaturation / 10 ? written * 10 + (text_[k] - '0') : kSaturation;
        if (written > kSaturation) written = kSaturation;
    }
    value = negative ? static_cast<std::uint32_t>(0u - v) : v;
    last_unsigned_ = negative ? -written : written;
    pos_ = at + n;
    return true;
}

// Decimal floating-point number: [sign] digits [. digits] [e [sign] digits]
// with at least one digit in the mantissa, or [sign] inf, infinity, nan,
// nan(chars), in any case.  The extent is found here and the value converted
// by strtod, which rounds correctly.  An exponent marker without digits is not
// part of the number ("1e" reads 1 and stops at the "e"); hexadecimal numbers
// are not decimal and read as their leading 0.
bool TextScanner::scan_double(double& value) {
    skip_space();
    std::size_t at = pos_;
    if (at < text_.size() && (text_[at] == '+' || text_[at] == '-')) at++;
    std::size_t end = at;
    if (starts_with_nocase(text_, at, "infinity")) {
        end = at + 8;
    } else if (starts_with_nocase(text_, at, "inf")) {
        end = at + 3;
    } else if (starts_with_nocase(text_, at, "nan")) {
        end = at + 3;
        if (end < text_.size() && text_[end] == '(') {
            std::size_t k = end + 1;
            while (k < text_.size() && (is_digit(text_[k]) || text_[k] == '_' ||
                                        (lower(text_[k]) >= 'a' && lower(text_[k]) <= 'z')))
                k++;
            if (k < text_.size() && text_[k] == ')') end = k + 1;
        }
    } else {
        std::size_t int_digits = digits_from(text_, at);
        end = at + int_digits;
        std::size_t frac_digits = 0;
        if (end < text_.size() && text_[end] == '.') {
            frac_digits = digits_from(text_, end + 1);
            if (int_digits + frac_digits > 0) end += 1 + frac_digits;
        }
        if (int_digits + frac_digits == 0) return false;
        if (end < text_.size() && (text_[end] == 'e' || text_[end] == 'E')) {
            std::size_t e = end + 1;
            if (e < text_.size() && (text_[e] == '+' || text_[e] == '-')) e++;
            std::size_t exp_digits = digits_from(text_, e);
            if (exp_digits > 0) end = e + exp_digits;
        }
    }
    std::string number = text_.substr(pos_, end - pos_);
    value = std::strtod(number.c_str(), nullptr);  // overflow gives +-HUGE_VAL, as scanf stores
    pos_ = end;
    return true;
}

bool TextScanner::scan_string(std::string& value) {
    skip_space();
    if (pos_ >= text_.size()) return false;
    std::size_t end = pos_;
    while (end < text_.size() && !is_space(text_[end])) end++;
    value = text_.substr(pos_, end - pos_);
    pos_ = end;
    return true;
}

bool TextScanner::convert(const ScanTarget& target, char conversion) {
    switch (target.kind) {
        case ScanTarget::kInt:
            if (conversion != 'd') break;
            return scan_int(*static_cast<int*>(target.field));
        case ScanTarget::kUnsigned32:
            if (conversion != 'u') break;
            return scan_unsigned32(*static_cast<std::uint32_t*>(target.field));
        case ScanTarget::kDouble:
            if (conversion != 'e') break;
            return scan_double(*static_cast<double*>(target.field));
        case ScanTarget::kToken:
            if (conversion != 's') break;
            return scan_string(*static_cast<std::string*>(target.field));
    }
    throw std::logic_error("scan: conversion does not fit its target");
}

int TextScanner::scan(const char* format, std::initializer_list<ScanTarget> targets) {
    const ScanTarget* next = targets.begin();
    int stored = 0;
    last_complete_ = false;
    for (const char* f = format; *f != '\0'; f++) {
        if (is_space(*f)) {
            skip_space();
            continue;
        }
        if (*f != '%') {
            if (pos_ >= text_.size() || text_[pos_] != *f) return stored;
            pos_++;
            continue;
        }
        // A conversion: %d, %lu, %le or %s.
        char conversion;
        if (f[1] == 'd' || f[1] == 's') {
            conversion = f[1];
            f += 1;
        } else if (f[1] == 'l' && (f[2] == 'u' || f[2] == 'e')) {
            conversion = f[2];
            f += 2;
        } else {
            throw std::logic_error(std::string("scan: unsupported conversion in \"") + format + "\"");
        }
        if (next == targets.end())
            throw std::logic_error(std::string("scan: too few targets for \"") + format + "\"");
        if (!convert(*next++, conversion)) return stored;
        stored++;
    }
    last_complete_ = true;
    return stored;
}

long long TextScanner::line_of(std::size_t position) const {
    const std::size_t end = position < text_.size() ? position : text_.size();
    // Readers ask in file order: count on from the last answer.
    if (end < line_cache_pos_) {
        line_cache_pos_ = 0;
        line_cache_line_ = 1;
    }
    for (std::size_t k = line_cache_pos_; k < end; k++)
        if (text_[k] == '\n') line_cache_line_++;
    line_cache_pos_ = end;
    return line_cache_line_;
}

std::optional<std::string> TextScanner::read_line(std::size_t max_chars, bool* complete) {
    if (complete != nullptr) *complete = true;
    if (pos_ >= text_.size()) return std::nullopt;
    std::string line;
    std::size_t taken = 0;  // characters of the buffer used, the line end included
    while (taken < max_chars && pos_ < text_.size()) {
        char c = text_[pos_];
        if (c == '\n') {
            pos_++;
            return line;
        }
        if (c == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n') {
            pos_ += 2;
            return line;
        }
        line.push_back(c);
        pos_++;
        taken++;
    }
    // Stopped by the buffer: the line goes on unless the text ended with it.
    if (complete != nullptr) *complete = pos_ >= text_.size();
    return line;
}

std::optional<std::string> TextScanner::get_line() {
    if (pos_ >= text_.size()) return std::nullopt;
    std::size_t end = text_.find('\n', pos_);
    if (end == std::string::npos) {
        std::string line = text_.substr(pos_);
        pos_ = text_.size();
        return line;
    }
    std::size_t content_end = end;
    if (content_end > pos_ && text_[content_end - 1] == '\r') content_end--;
    std::string line = text_.substr(pos_, content_end - pos_);
    pos_ = end + 1;
    return line;
}

std::string TextScanner::scan_token() {
    std::string token;
    scan_string(token);
    return token;
}

bool read_file_text(const std::string& path, std::string& text) {
    // A directory opens as a stream on some systems but holds no text.
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) return false;
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::ostringstream content;
    content << file.rdbuf();
    if (file.bad()) return false;
    text = content.str();
    return true;
}

std::optional<std::string> get_line(TextScanner& in) { return in.get_line(); }

std::string scan_line(TextScanner& in) { return in.scan_token(); }

}  // namespace plenta
