// plenta.random: the random number library's streams for Python.
//
// The generator and the deviates' set-up caches are process-wide, shared
// with every simulation of the module; each call holds the module's random
// lock, so a call from one thread never interleaves with a simulation
// running in another.  Results are the library's own single-precision floats
// and 32-bit integers.
//
// The library ends the process on bad arguments (after writing its message
// to standard error).  Inside the interpreter that would end the user's
// session, so the module installs an exit handler that throws instead; the
// throw unwinds through the library's C++ frames and becomes a
// plenta.random.RandomLibraryError (a ValueError).  A routine stopped this
// way may leave its kept state half updated, as it would have had the
// process gone on.  The routines that check nothing themselves (ignbin,
// sgamma, gengam, genmn and the array routines) have their arguments checked
// here, since outside their domain they loop or read out of bounds.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "plenta_py.h"
#include "random/ranlib.h"

namespace plenta {
namespace py_module {

namespace {

// A stop of the random library, carrying its exit status.
struct RandomLibraryStop : std::runtime_error {
    explicit RandomLibraryStop(int status)
        : std::runtime_error("the random number library stopped (exit status " +
                             std::to_string(status) + "); its message is on standard error") {}
};

extern "C" void python_random_library_exit(int status) { throw RandomLibraryStop(status); }

void require(bool ok, const char* message) {
    if (!ok) throw py::value_error(message);
}

// Every real argument of a deviate must be a finite number: the library's
// own checks compare with bounds, which NaN passes, and its rejection loops
// then never accept (genmul with a NaN probability hangs the interpreter).
float finite(const char* routine, const char* name, float v) {
    if (!std::isfinite(v))
        throw py::value_error(std::string(routine) + ": " + name + " = " + std::to_string(v) +
                              " is not a finite number");
    return v;
}

// A mean whose deviates fit the library's 32-bit results with room to spare
// (some 10 standard deviations).
constexpr float kMaxPoissonMean = 1.0e9f;

float poisson_mean(const char* routine, float mu) {
    finite(routine, "the mean", mu);
    if (mu > kMaxPoissonMean)
        throw py::value_error(std::string(routine) + ": the mean " + std::to_string(mu) +
                              " is beyond 1e9; its deviates would not fit 32 bits");
    return mu;
}

std::int32_t ignbin_checked(std::int32_t n, float pp) {
    finite("ignbin", "pp", pp);
    require(n >= 0, "ignbin: n must be >= 0");
    require(pp >= 0.0f && pp <= 1.0f, "ignbin: pp must lie in [0, 1]");
    RandomLock lock;
    return ignbin(n, pp);
}

float sgamma_checked(float a) {
    require(a > 0.0f && std::isfinite(a), "sgamma: the shape a must be a positive finite number");
    RandomLock lock;
    return sgamma(a);
}

float gengam_checked(float a, float r) {
    finite("gengam", "a", a);
    require(r > 0.0f && std::isfinite(r), "gengam: the shape r must be a positive finite number");
    RandomLock lock;
    return gengam(a, r);
}

std::vector<std::int32_t> genmul_checked(std::int32_t n, std::vector<float> p, std::int32_t ncat) {
    // The library reads ncat - 1 probabilities and writes ncat counts; it
    // checks n, ncat and the probabilities itself.
    require(ncat < 2 || p.size() >= static_cast<std::size_t>(ncat) - 1,
            "genmul: p must hold at least ncat - 1 probabilities");
    for (std::size_t k = 0; k < p.size() && k + 1 < static_cast<std::size_t>(ncat); k++) {
        finite("genmul", "a probability", p[k]);
        require(p[k] >= 0.0f && p[k] <= 1.0f, "genmul: every probability must lie in [0, 1]");
    }
    std::vector<std::int32_t> ix(ncat > 0 ? static_cast<std::size_t>(ncat) : 0, 0);
    if (p.empty()) p.push_back(0.0f);
    RandomLock lock;
    genmul(n, p.data(), ncat, ix.data());
    return ix;
}

std::vector<std::int32_t> genprm_list(std::vector<std::int32_t> values) {
    RandomLock lock;
    genprm(values.data(), static_cast<std::int32_t>(values.size()));
    return values;
}

// setgmn's parameter array: p, the mean, and the covariance's Cholesky factor.
py::array_t<float> setgmn_array(std::vector<float> mean, py::array_t<float, py::array::c_style |
                                                                          py::array::forcecast> cov) {
    const auto p = static_cast<py::ssize_t>(mean.size());
    require(p >= 1, "setgmn: the mean needs at least one entry");
    require(cov.ndim() == 2 && cov.shape(0) == p && cov.shape(1) == p,
            "setgmn: the covariance must be a p x p matrix");
    // The library stores matrices column by column; a covariance is
    // symmetric, so the row-major copy serves.
    std::vector<float> covm(cov.data(), cov.data() + p * p);
    for (float v : mean) finite("setgmn", "a mean", v);
    for (float v : covm) finite("setgmn", "a covariance", v);
    py::array_t<float> parm(p * (p + 3) / 2 + 1);
    RandomLock lock;
    setgmn(mean.data(), covm.data(), static_cast<std::int32_t>(p), parm.mutable_data());
    return parm;
}

std::vector<float> genmn_array(py::array_t<float, py::array::c_style | py::array::forcecast> parm) {
    require(parm.ndim() == 1 && parm.shape(0) >= 1, "genmn: parm must come from setgmn");
    const float p_value = parm.data()[0];
    require(p_value >= 1.0f && p_value < 1.0e6f, "genmn: parm must come from setgmn");
    const auto p = static_cast<py::ssize_t>(p_value);
    require(parm.shape(0) == p * (p + 3) / 2 + 1, "genmn: parm must come from setgmn");
    std::vector<float> copy(parm.data(), parm.data() + parm.shape(0));
    for (float v : copy) finite("genmn", "a parameter", v);
    std::vector<float> x(static_cast<std::size_t>(p)), work(static_cast<std::size_t>(p));
    RandomLock lock;
    genmn(copy.data(), x.data(), work.data());
    return x;
}

py::array_t<float> ranf_array(py::ssize_t n) {
    require(n >= 0, "ranf_array: n must be >= 0");
    py::array_t<float> a(n);
    float* out = a.mutable_data();
    RandomLock lock;
    for (py::ssize_t k = 0; k < n; k++) out[k] = ranf();
    return a;
}

}  // namespace

std::recursive_mutex& random_mutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

RandomLock::RandomLock() {
    if (random_mutex().try_lock()) return;
    py::gil_scoped_release release;
    random_mutex().lock();
}

void bind_random(py::module_& parent) {
    ranlib_set_exit_handler(python_random_library_exit);
    py::module_ m = parent.def_submodule(
        "random",
        "The random number library: a combined multiplicative congruential generator with 32 "
        "virtual generators (L'Ecuyer 1988; L'Ecuyer and Cote 1991) and its deviates, in single "
        "precision.  The same process-wide stream as the simulations: plenta's simulate seeds "
        "it with setall(seed, seed) and draws from it.  Bad arguments raise RandomLibraryError "
        "(a ValueError) after the library's message on standard error.");
    py::register_exception<RandomLibraryStop>(m, "RandomLibraryError", PyExc_ValueError);

    // Generator core and stream controls.
    m.def("setall", [](std::int32_t s1, std::int32_t s2) { RandomLock lock; setall(s1, s2); },
          py::arg("iseed1"), py::arg("iseed2"),
          "Seeds all 32 generators (1 <= iseed1 < 2147483563, 1 <= iseed2 < 2147483399).");
    m.def("ignlgi", []() { RandomLock lock; return ignlgi(); },
          "Next integer of the current generator, 1..2147483562.");
    m.def("ranf", []() { RandomLock lock; return ranf(); }, "Uniform deviate in (0, 1], single precision.");
    m.def("ranf_array", &ranf_array, py::arg("n"),
          "n successive ranf() values as a float32 array (the same stream as n calls).");
    m.def("initgn", [](std::int32_t isdtyp) { RandomLock lock; initgn(isdtyp); }, py::arg("isdtyp"),
          "Re-initialises the current generator: -1 stream start, 0 block start, 1 next block.");
    m.def("setsd", [](std::int32_t s1, std::int32_t s2) { RandomLock lock; setsd(s1, s2); },
          py::arg("iseed1"), py::arg("iseed2"), "Sets the initial seeds of the current generator.");
    m.def("getsd", []() { RandomLock lock;
              std::int32_t s1 = 0, s2 = 0;
              getsd(&s1, &s2);
              return std::make_tuple(s1, s2);
          },
          "The two current seeds of the current generator, as a tuple.");
    m.def("setant", [](std::int32_t q) { RandomLock lock; setant(q); }, py::arg("qvalue"),
          "Sets the antithetic flag of the current generator.");
    m.def("advnst", [](std::int32_t k) { RandomLock lock; advnst(k); }, py::arg("k"),
          "Advances the current generator by 2^k values.");
    m.def("get_generator", []() { RandomLock lock;
              std::int32_t g = 0;
              gscgn(0, &g);
              return g;
          },
          "Number of the current generator, 1..32 (gscgn with selector 0).");
    m.def("set_generator", [](std::int32_t g) { RandomLock lock; gscgn(1, &g); }, py::arg("g"),
          "Makes generator g (1..32) current (gscgn with a set request).");
    m.def("mltmod", [](std::int32_t a, std::int32_t s, std::int32_t mod) { RandomLock lock;
              return mltmod(a, s, mod);
          },
          py::arg("a"), py::arg("s"), py::arg("m"), "(a * s) mod m for 0 < a < m, 0 < s < m.");
    m.def("phrtsd", [](const std::string& phrase) { RandomLock lock;
              std::int32_t s1 = 0, s2 = 0;
              phrtsd(phrase.c_str(), &s1, &s2);
              return std::make_tuple(s1, s2);
          },
          py::arg("phrase"), "Two seeds for setall derived from a text phrase.");

    // Poisson, normal and exponential deviates.
    m.def("ignpoi", [](float mu) { poisson_mean("ignpoi", mu); RandomLock lock; return ignpoi(mu); }, py::arg("mu"),
          "Poisson deviate of mean mu (Ahrens and Dieter 1982); 0 for mu <= 0.");
    m.def("my_poisson", [](double mean) {
              poisson_mean("my_poisson", static_cast<float>(mean));
              RandomLock lock;
              return my_poisson(mean);
          }, py::arg("mean"),
          "Poisson deviate as tau-leaping draws it (a double mean rounded to single).");
    m.def("snorm", []() { RandomLock lock; return snorm(); }, "Standard normal deviate.");
    m.def("sexpo", []() { RandomLock lock; return sexpo(); }, "Standard exponential deviate.");

    // Other deviates.
    m.def("genbet", [](float a, float b) {
              finite("genbet", "aa", a);
              finite("genbet", "bb", b);
              RandomLock lock;
              return genbet(a, b);
          }, py::arg("aa"),
          py::arg("bb"), "Beta(aa, bb) deviate (Cheng's BB and BC).");
    m.def("genchi", [](float df) { finite("genchi", "df", df); RandomLock lock; return genchi(df); }, py::arg("df"),
          "Chi-square deviate with df degrees of freedom.");
    m.def("genexp", [](float av) { finite("genexp", "av", av); RandomLock lock; return genexp(av); }, py::arg("av"),
          "Exponential deviate of mean av.");
    m.def("genf", [](float dfn, float dfd) {
              finite("genf", "dfn", dfn);
              finite("genf", "dfd", dfd);
              RandomLock lock;
              return genf(dfn, dfd);
          }, py::arg("dfn"),
          py::arg("dfd"), "F deviate.");
    m.def("gengam", &gengam_checked, py::arg("a"), py::arg("r"),
          "Gamma deviate with density proportional to x^(r-1) exp(-a x).");
    m.def("sgamma", &sgamma_checked, py::arg("a"), "Standard gamma deviate of shape a.");
    m.def("gennor", [](float av, float sd) {
              finite("gennor", "av", av);
              finite("gennor", "sd", sd);
              require(sd >= 0.0f, "gennor: sd must be >= 0");
              RandomLock lock;
              return gennor(av, sd);
          }, py::arg("av"),
          py::arg("sd"), "Normal deviate of mean av and standard deviation sd.");
    m.def("gennch", [](float df, float x) {
              finite("gennch", "df", df);
              finite("gennch", "xnonc", x);
              RandomLock lock;
              return gennch(df, x);
          }, py::arg("df"),
          py::arg("xnonc"), "Noncentral chi-square deviate.");
    m.def("gennf", [](float dfn, float dfd, float x) {
              finite("gennf", "dfn", dfn);
              finite("gennf", "dfd", dfd);
              finite("gennf", "xnonc", x);
              RandomLock lock;
              return gennf(dfn, dfd, x);
          },
          py::arg("dfn"), py::arg("dfd"), py::arg("xnonc"), "Noncentral F deviate.");
    m.def("genunf", [](float low, float high) {
              finite("genunf", "low", low);
              finite("genunf", "high", high);
              RandomLock lock;
              return genunf(low, high);
          },
          py::arg("low"), py::arg("high"), "Uniform deviate between low and high.");
    m.def("ignbin", &ignbin_checked, py::arg("n"), py::arg("pp"),
          "Binomial(n, pp) deviate (inversion or BTPE).");
    m.def("ignnbn", [](std::int32_t n, float p) {
              finite("ignnbn", "p", p);
              // A Poisson deviate of a gamma mean n (1 - p) / p: kept within
              // what ignpoi's 32-bit results take.
              if (n > 0 && p > 0.0f &&
                  static_cast<double>(n) * (1.0 - p) / p > static_cast<double>(kMaxPoissonMean))
                  throw py::value_error("ignnbn: the mean n (1 - p) / p is beyond 1e9; its "
                                        "deviates would not fit 32 bits");
              RandomLock lock;
              return ignnbn(n, p);
          }, py::arg("n"),
          py::arg("p"), "Negative binomial deviate.");
    m.def("ignuin", [](std::int32_t low, std::int32_t high) { RandomLock lock; return ignuin(low, high); },
          py::arg("low"), py::arg("high"), "Uniform integer in [low, high].");
    m.def("genmul", &genmul_checked, py::arg("n"), py::arg("p"), py::arg("ncat"),
          "Multinomial counts of n trials over ncat categories (p: the first ncat - 1 "
          "probabilities); a list of ncat counts.");
    m.def("genprm", &genprm_list, py::arg("values"),
          "A random permutation of the list of integers, as a new list.");
    m.def("setgmn", &setgmn_array, py::arg("mean"), py::arg("cov"),
          "Parameter array of the multivariate normal with this mean and covariance.");
    m.def("genmn", &genmn_array, py::arg("parm"),
          "One multivariate normal deviate from setgmn's parameter array.");
}

}  // namespace py_module
}  // namespace plenta
