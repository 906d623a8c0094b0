// Test module: under the gateway's random-library guard, seeds the generator
// with the seed given as its one input.  A seed outside 1..2147483398 stops
// the generator inside its modular product; the guard must turn that stop
// into the error "tamrin:randomLibrary" and leave the host running.
#include <cstdint>

#include "mex_gateway.h"
#include "random/ranlib.h"

extern "C" void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    (void)nlhs;
    (void)plhs;
    if (nrhs != 1) mexErrMsgIdAndTxt("tamrin_exit_probe:nargin", "one input: the seed");
    plenta::mex::RandomLibraryGuard guard;
    const std::int32_t seed = static_cast<std::int32_t>(mxGetScalar(prhs[0]));
    setall(seed, seed);
}
