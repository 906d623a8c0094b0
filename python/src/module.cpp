// The compiled part of the Python package plenta (imported by
// plenta/__init__.py as plenta._plenta).
#include <pybind11/pybind11.h>

#include "plenta_py.h"

PYBIND11_MODULE(_plenta, m) {
    m.doc() = "Compiled core of plenta: models, simulation and the random library.";
    plenta::py_module::bind_model(m);
    plenta::py_module::bind_simulate(m);
    plenta::py_module::bind_random(m);
}
