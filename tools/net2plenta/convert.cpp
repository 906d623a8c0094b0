// Converting a network read from a .net file into plenta's model folder.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include "tools/net2plenta/net2plenta.h"

namespace net2plenta {

namespace {

constexpr std::size_t kMaxNameChars = 83;   // species names of the model file
constexpr std::size_t kMaxTitleChars = 78;  // reaction title lines

// The shortest text that reads back as the same double.
std::string exact(double v) {
    char text[40];
    for (int digits = 15; digits <= 17; digits++) {
        std::snprintf(text, sizeof text, "%.*g", digits, v);
        if (std::strtod(text, nullptr) == v) break;
    }
    return text;
}

// Species with their count, in order of first appearance.
std::vector<Entry> tally(const std::vector<int>& list) {
    std::vector<Entry> out;
    for (int s : list) {
        auto it = std::find_if(out.begin(), out.end(), [s](const Entry& e) { return e.species == s; });
        if (it == out.end())
            out.push_back(Entry{s, 1});
        else
            it->coef += 1;
    }
    return out;
}

bool makes_one_new_species(const std::vector<Entry>& subs, const std::vector<Entry>& prods) {
    if (prods.size() != 1 || prods[0].coef != 1) return false;
    for (const Entry& e : subs)
        if (e.species == prods[0].species) return false;
    return true;
}

std::string species_name(const NetSpecies& s, std::size_t position) {
    bool plain = !s.pattern.empty() && s.pattern.size() <= kMaxNameChars;
    for (char c : s.pattern)
        if (c <= ' ' || c > '~') plain = false;
    return plain ? s.pattern : "S" + std::to_string(position + 1);
}

void write_file(const std::filesystem::path& path, const std::string& text) {
    const std::filesystem::path temp = path.string() + ".net2plenta-part";
    {
        std::ofstream out(temp, std::ios::binary);
        out << text;
        out.close();
        if (!out) throw NetError(path.string() + ": cannot be written");
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) throw NetError(path.string() + ": cannot be written (" + ec.message() + ")");
}

}  // namespace

OutReaction convert_reaction(const NetReaction& r) {
    OutReaction out;
    out.subs = tally(r.reactants);
    out.prods = tally(r.products);
    out.k0 = r.rate;
    const bool new_species = makes_one_new_species(out.subs, out.prods);
    if (out.subs.size() == 1 && out.subs[0].coef == 1 && !out.prods.empty()) {
        out.type = new_species ? "uni-uni" : "uni-multi";
    } else if (out.subs.size() == 2 && out.subs[0].coef == 1 && out.subs[1].coef == 1 &&
               new_species) {
        out.type = "binding";
    } else if (out.subs.size() == 1 && out.subs[0].coef == 2 && new_species) {
        // Pairs: k0 x (x - 1) / 2 with k0 = 2c is c x (x - 1), exactly (a
        // factor of two changes no rounding).
        out.type = "homo-ltor";
        out.k0 = 2.0 * r.rate;
    } else {
        out.type = "mass-action";
    }
    return out;
}

std::vector<int> monitored_species(const NetModel& net, const Options& options) {
    std::vector<int> out;
    if (options.monitor_groups && !net.groups.empty()) {
        std::set<int> read;
        for (const NetGroup& g : net.groups)
            for (const auto& term : g.terms) read.insert(term.first);
        out.assign(read.begin(), read.end());
        if (!out.empty()) return out;
    }
    for (std::size_t s = 0; s < net.species.size(); s++) out.push_back(static_cast<int>(s));
    return out;
}

std::string model_file_text(const NetModel& net, const Options& options) {
    std::string t;
    t.reserve(net.reactions.size() * 96 + net.species.size() * 32 + 1024);
    t += "traj\nsummary.txt\nevlog\n\n";
    t += "num_sets = 1\n";
    t += "num_rxns = " + std::to_string(net.reactions.size()) + "\n";
    t += "num_cmpds = " + std::to_string(net.species.size()) + "\n\n";
    for (std::size_t s = 0; s < net.species.size(); s++)
        t += species_name(net.species[s], s) + " " + std::to_string(net.species[s].count) + "\n";
    t += "\n";
    for (std::size_t i = 0; i < net.reactions.size(); i++) {
        const NetReaction& r = net.reactions[i];
        const OutReaction o = convert_reaction(r);
        std::string title = "R" + std::to_string(i + 1) + " line " + std::to_string(r.line);
        std::string rule = r.rule;
        rule.erase(std::remove_if(rule.begin(), rule.end(),
                                  [](char c) { return c < ' ' || c > '~'; }),
                   rule.end());
        while (!rule.empty() && rule.front() == ' ') rule.erase(rule.begin());
        if (!rule.empty()) title += " " + rule;
        if (title.size() > kMaxTitleChars) title.resize(kMaxTitleChars);
        t += title + "\n";
        t += "rxntype = " + o.type + "\n";
        const bool coefs = o.type == "mass-action";
        t += "num_subs = " + std::to_string(o.type == "homo-ltor" ? 2 : o.subs.size()) + "\n";
        for (const Entry& e : o.subs) {
            if (coefs) {
                t += std::to_string(e.species) + " " + std::to_string(e.coef) + "\n";
            } else {
                for (int k = 0; k < e.coef; k++) t += std::to_string(e.species) + "\n";
            }
        }
        t += "num_prods = " + std::to_string(o.prods.size()) + "\n";
        const bool prod_coefs = coefs || o.type == "uni-multi";
        for (const Entry& e : o.prods)
            t += std::to_string(e.species) + (prod_coefs ? " " + std::to_string(e.coef) : "") + "\n";
        t += "StoP = " + exact(o.k0) + "\n";
        t += "id = " + std::to_string(i) + "\n\n";
    }
    t += "time_start = 0.0\n";
    t += "time_end = " + exact(options.time_end) + "\n";
    t += "volume = 1.0\n";
    t += "algorithm = " + std::to_string(options.algorithm) + "\n";
    if (options.algorithm == 3) t += "tau_error = " + exact(options.tau_error) + "\n";
    t += "randseed = " + std::to_string(options.seed) + "\n\n";
    const std::vector<int> monit = monitored_species(net, options);
    t += "num_monit = " + std::to_string(monit.size()) + "\n";
    for (int s : monit) t += std::to_string(s) + "\n";
    t += "snapshot_interval = " + exact(options.interval) + "\n";
    t += "eventlog_flag = 0\n";
    t += "num_repeats = " + std::to_string(options.runs) + "\n";
    return t;
}

std::string groups_file_text(const NetModel& net, const Options& options) {
    const std::vector<int> monit = monitored_species(net, options);
    std::string t =
        "# Observables: name, then weight*column terms; column k is the k-th monitored species,\n"
        "# field k + 1 of a trajectory line (field 1 is the time).\n";
    for (const NetGroup& g : net.groups) {
        t += g.name;
        std::string sep = " ";
        for (const auto& term : g.terms) {
            const auto at = std::find(monit.begin(), monit.end(), term.first);
            if (at == monit.end()) continue;  // cannot happen: groups choose the monitored
            t += sep + exact(term.second) + "*" + std::to_string(at - monit.begin() + 1);
            sep = ",";
        }
        t += "\n";
    }
    return t;
}

std::string species_file_text(const NetModel& net) {
    std::string t = "# position (from 0), .net index, pattern\n";
    for (std::size_t s = 0; s < net.species.size(); s++)
        t += std::to_string(s) + "\t" + std::to_string(s + 1) + "\t" + net.species[s].pattern + "\n";
    return t;
}

void write_model_folder(const NetModel& net, const Options& options, const std::string& outdir) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(outdir, ec);
    const fs::path dir = fs::absolute(outdir, ec);
    if (ec || !fs::is_directory(dir)) throw NetError(outdir + ": cannot be created");
    const std::string model = model_file_text(net, options);
    const std::string groups = groups_file_text(net, options);
    const std::string species = species_file_text(net);
    write_file(dir / "model.txt", model);
    write_file(dir / "groups.txt", groups);
    write_file(dir / "species.txt", species);
    // The data directory is the folder itself, so that a copy of the folder
    // runs on its own files (plenta runs in the folder).
    write_file(dir / "constants.txt", "./\nmodel.txt\n");
}

}  // namespace net2plenta
