// net2plenta.h - reaction networks generated from rules (the .net files of
// BioNetGen) read into plain records and converted into plenta's model file.
//
// A .net file lists parameters (values or expressions of earlier
// parameters), species with initial counts (numbers or expressions), one
// line per reaction with its reactant and product species and a rate
// expression, and groups (weighted sums of species, the observables).  The
// stochastic propensity of a reaction line is the value c of its rate
// expression times, for every reactant species j listed n_j times,
// x_j (x_j - 1) ... (x_j - n_j + 1): the ways to pick the molecules, the
// symmetry factor (0.5 for two alike molecules) being inside c already.
#ifndef PLENTA_TOOLS_NET2PLENTA_NET2PLENTA_H
#define PLENTA_TOOLS_NET2PLENTA_NET2PLENTA_H

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace net2plenta {

// Input that the converter cannot express or read: the message names the
// file and line ("model.net:12: ...").
struct NetError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct NetSpecies {
    std::string pattern;  // as written (a BioNetGen species pattern)
    long long count = 0;  // initial molecules
    int line = 0;
};

struct NetReaction {
    std::vector<int> reactants;  // species positions (from 0), as listed, repeats included
    std::vector<int> products;
    std::string rate_text;       // the rate expression as written
    double rate = 0.0;           // its value c
    std::string rule;            // the comment after '#', if any
    int line = 0;
};

struct NetGroup {
    std::string name;
    std::vector<std::pair<int, double>> terms;  // (species position, weight)
    int line = 0;
};

struct NetModel {
    std::vector<std::pair<std::string, double>> parameters;  // in file order
    std::vector<NetSpecies> species;
    std::vector<NetReaction> reactions;
    std::vector<NetGroup> groups;
};

// Reads a .net file; throws NetError naming the line of the first thing it
// cannot read or express (an unknown block, a rate law that is not a
// constant expression, a species count that is not a whole number >= 0 that
// fits 32 bits, a reference to a species that does not exist, ...).
NetModel read_net(const std::string& path);

// The same from text; `name` is used in messages.
NetModel parse_net(const std::string& text, const std::string& name);

// ---- Conversion ----

struct Entry {
    int species = 0;
    int coef = 0;  // multiplicity of a reactant, number made of a product
};

// One reaction as plenta's model file gives it.  A shape that a fixed type
// computes exactly as c prod x_j (x_j - 1)... does (at volume 1) takes that
// type: first order "uni-uni" or "uni-multi", two different reactants making
// one new species "binding", two alike molecules making one new species
// "homo-ltor" (whose constant is 2c, as it counts pairs); every other line
// (sources, degradations, repeated reactants with other products, orders
// above two) is "mass-action".
struct OutReaction {
    std::string type;
    std::vector<Entry> subs;
    std::vector<Entry> prods;
    double k0 = 0.0;
};

OutReaction convert_reaction(const NetReaction& r);

struct Options {
    double time_end = 10.0;
    double interval = 1.0;
    int runs = 1;
    long long seed = 12345;
    int algorithm = 2;
    double tau_error = 0.03;
    bool monitor_groups = true;  // false: every species
};

// The monitored species: those the groups read (ascending), or every species.
std::vector<int> monitored_species(const NetModel& net, const Options& options);

// model.txt (volume 1: the rate constants of a .net file include it).
std::string model_file_text(const NetModel& net, const Options& options);

// groups.txt: per group its name and "weight*column" terms, the column of a
// monitored species counted from 1 in the monitored list (field 1 + column of
// a trajectory line).
std::string groups_file_text(const NetModel& net, const Options& options);

// species.txt: position, .net index and full pattern of every species.
std::string species_file_text(const NetModel& net);

// Writes outdir/model.txt, groups.txt, species.txt and constants.txt (its
// first line outdir's absolute path), each as a temporary file renamed at the
// end.  Throws NetError when the folder cannot be written.
void write_model_folder(const NetModel& net, const Options& options, const std::string& outdir);

}  // namespace net2plenta

#endif  // PLENTA_TOOLS_NET2PLENTA_NET2PLENTA_H
