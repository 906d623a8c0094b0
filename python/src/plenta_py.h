// plenta_py.h - the Python extension module _plenta: the network as Python
// sees it, the simulation of whole runs into arrays, and the random library.
//
// The module is a third front end over the same model, engine and random
// code as the console program: a model is a ConsoleModel (read by the
// console's own reader, or filled from Python and checked by the same
// validation), and every run goes through the console's simulate_run.
#ifndef PLENTA_PYTHON_PLENTA_PY_H
#define PLENTA_PYTHON_PLENTA_PY_H

#include <pybind11/pybind11.h>

#include <mutex>
#include <string>
#include <vector>

#include "console/console.h"
#include "model/model.h"

namespace plenta {
namespace py_module {

namespace py = pybind11;

// A network ready to simulate: the records as read or built (dependency lists
// filled) and the stoichiometry matrix.  Never changed after construction:
// every simulation works on a copy, so one model serves many calls.
struct PyModel {
    ConsoleModel m;
    StoichMatrix matrix;
    bool from_file = false;  // read_model: time, interval, seed and runs default to the file's
};

// The random library's state is process-wide and unguarded.  Every entry into
// it from Python (a simulation, or a call of plenta.random) holds this lock,
// so that a second Python thread cannot interleave draws with a simulation
// that runs without the GIL.  Recursive, so that a progress callback of a
// simulation may itself draw.
std::recursive_mutex& random_mutex();

// Locks random_mutex(); when another thread holds it, waits without the GIL
// so that the holder can take the GIL for its callbacks.
class RandomLock {
public:
    RandomLock();
    RandomLock(const RandomLock&) = delete;
    RandomLock& operator=(const RandomLock&) = delete;
    ~RandomLock() { random_mutex().unlock(); }
};

// A console message as Python shows it: without its line end.  For a model
// built in Python, which has no file, "Model file <path>" becomes "Model" and
// the closing " Exit." is dropped.
std::string python_message(const std::string& console_message, bool built_in_python);

void bind_model(py::module_& m);
void bind_simulate(py::module_& m);
void bind_random(py::module_& m);

}  // namespace py_module
}  // namespace plenta

#endif  // PLENTA_PYTHON_PLENTA_PY_H
