// mex_gateway.h - internal interface of the MATLAB/Octave gateway `tamrin`:
// the state kept between calls, the error and warning helpers, the guard that
// turns the random library's process-ending paths into host errors, and the
// reader that turns one MATLAB reaction structure into a Reaction record.
//
// Only the published MEX/mx API is used, so the same sources build with
// MATLAB's `mex` and with Octave's `mkoctfile --mex`.  Everything a call
// allocates lives in std::vector (or other RAII owners) on the C++ stack of
// the call: when a MEX error ends the call (Octave and C++ MEX files in
// MATLAB unwind by a C++ exception) the destructors release it.
#ifndef PLENTA_MEX_MEX_GATEWAY_H
#define PLENTA_MEX_MEX_GATEWAY_H

#include <vector>

#include "mex.h"
#include "model/event.h"
#include "model/model.h"

namespace plenta {
namespace mex {

// ---- Fixed texts ----

extern const char kMsgFiveInputs[];     // "Five input arguments required."
extern const char kMsgEightOutputs[];   // "Eight output arguments required."
extern const char kMsgTypeTruncated[];  // "Not enough space. String is truncated."

// ---- State kept between calls ----

// The engine's next event, carried from one call to the next while the host
// keeps the library loaded; all 0 at load.  Together with the random
// generator and the Poisson deviate's saved state this is all that survives
// a call.  One process-wide instance, unguarded: not thread-safe (the host
// calls a MEX function from one thread at a time).
struct KeptState {
    double total_prob = 0.0;
    double next_time = 0.0;
    int next_rxn = 0;
    // Whether an event has been drawn in this session: the state at load
    // ("reaction 1 at time 0") is no event at all and is never fired.
    bool drawn = false;
    // The run state of the events (PAR.events): condition values, next
    // times of timed triggers, pending delayed executions, the named
    // parameters' current values.  Valid for a network of `num_events`
    // events and `num_parameters` named parameters when `events_started`;
    // an initialising call starts it afresh, a simulating call goes on
    // from it and leaves it for the next.
    bool events_started = false;
    int num_events = 0;
    int num_parameters = 0;
    EventRunState events;
};

KeptState& kept_state();

// ---- Errors and warnings ----

// Raises a host error with identifier `id` ("tamrin:<what>") and a printf-style
// message; the call ends here (the host unwinds the C++ stack).
[[noreturn]] void gateway_error(const char* id, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// Issues a host warning with identifier `id`; the call goes on.
void gateway_warning(const char* id, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// For the life of one call, every process-ending path of the random library
// (ranlib_exit) raises the error "tamrin:randomLibrary" instead of ending the
// host process.  The handler is removed again when the call ends, normally or
// by an error.
class RandomLibraryGuard {
public:
    RandomLibraryGuard();
    ~RandomLibraryGuard();
    RandomLibraryGuard(const RandomLibraryGuard&) = delete;
    RandomLibraryGuard& operator=(const RandomLibraryGuard&) = delete;
};

// ---- Argument reader ----

// Reads and checks the five inputs of tamrin as a call does, raising the
// call's error for the first fault, and simulates nothing.
void check_tamrin_inputs(const mxArray* prhs[]);

// ---- Reaction reader ----

// Reads the reaction structure `rxn` (cell i of the first input) into
// reactions[i] and model.num_subs[i] / model.num_prods[i], by the column
// rules of its type, and sets its id to i.  model.num_cmpds must already hold
// the number of species: every species position is checked against it.
// Raises an error (naming reaction i + 1 and the field) for a missing
// required field, a field of the wrong class or with too few columns, a
// position outside the species, too few substrates or products for a
// fixed-shape type, and too few rate constants for what the propensity of
// its type reads.  ModelSizes is passed by reference: its per-reaction arrays
// are vectors owned by the record.
void read_rxn_struct(int i, const mxArray* rxn, std::vector<Reaction>& reactions,
                     ModelSizes& model);

// Number of rate constants the propensity of `reaction` reads (k_0 .. k_(n-1)),
// given its number of substrates.
int rates_needed(const Reaction& reaction, int num_subs);

}  // namespace mex
}  // namespace plenta

#endif  // PLENTA_MEX_MEX_GATEWAY_H
