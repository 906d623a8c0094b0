// Errors, warnings and the random library's exit guard of the gateway.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "mex_gateway.h"
#include "random/ranlib.h"

namespace plenta {
namespace mex {

const char kMsgFiveInputs[] = "Five input arguments required.";
const char kMsgEightOutputs[] = "Eight output arguments required.";
const char kMsgTypeTruncated[] = "Not enough space. String is truncated.";

namespace {

// Long enough for every message the gateway builds (they name a reaction,
// a field and a few numbers); vsnprintf truncates anything longer.
constexpr int kMessageLen = 512;

}  // namespace

void gateway_error(const char* id, const char* format, ...) {
    char message[kMessageLen];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    // The host copies the text before it unwinds, so the local buffer is safe.
    mexErrMsgIdAndTxt(id, "%s", message);
    // Not reached: raising the error ends the call.
    std::abort();
}

void gateway_warning(const char* id, const char* format, ...) {
    char message[kMessageLen];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    mexWarnMsgIdAndTxt(id, "%s", message);
}

}  // namespace mex
}  // namespace plenta

// The random library has already written its own diagnostic to standard
// error; inside a host process it must not end the process, so it ends the
// call instead.  The library's exit paths are C++ code, so the host's
// unwinding passes through them.
extern "C" void tamrin_random_library_exit(int status) {
    plenta::mex::gateway_error("tamrin:randomLibrary",
                               "the random number library stopped (exit status %d); "
                               "its message is on standard error",
                               status);
}

namespace plenta {
namespace mex {

RandomLibraryGuard::RandomLibraryGuard() { ranlib_set_exit_handler(tamrin_random_library_exit); }

RandomLibraryGuard::~RandomLibraryGuard() { ranlib_set_exit_handler(nullptr); }

}  // namespace mex
}  // namespace plenta
