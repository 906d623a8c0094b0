// Reading a .net file: blocks of parameters, species, reactions and groups,
// expressions evaluated by muParser over the parameters defined so far.
#include <cmath>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <limits>
#include <sstream>
#include <unordered_map>

#include <muParser.h>

#include "tools/net2plenta/net2plenta.h"

namespace net2plenta {

namespace {

enum class Block { kNone, kParameters, kSpecies, kReactions, kGroups, kSkipped };

struct Reader {
    std::string name;
    int line = 0;
    // Parameter values live in a deque: muParser keeps their addresses.
    std::deque<double> values;
    std::unordered_map<std::string, double*> by_name;
    mu::Parser parser;
    std::unordered_map<std::string, double> cache;  // expression text -> value

    [[noreturn]] void fail(const std::string& what) const {
        throw NetError(name + ":" + std::to_string(line) + ": " + what);
    }

    double eval(const std::string& text, const char* what) {
        auto hit = by_name.find(text);
        if (hit != by_name.end()) return *hit->second;
        auto cached = cache.find(text);
        if (cached != cache.end()) return cached->second;
        double v = 0.0;
        try {
            parser.SetExpr(text);
            v = parser.Eval();
        } catch (const mu::Parser::exception_type& e) {
            fail(std::string(what) + " '" + text + "' is not a constant expression of the "
                 "parameters above it (" + e.GetMsg() + ")");
        }
        if (!std::isfinite(v)) fail(std::string(what) + " '" + text + "' is not finite");
        cache.emplace(text, v);
        return v;
    }

    void define(const std::string& pname, double v) {
        if (by_name.count(pname) != 0) fail("parameter '" + pname + "' is defined twice");
        values.push_back(v);
        try {
            parser.DefineVar(pname, &values.back());
        } catch (const mu::Parser::exception_type& e) {
            fail("parameter name '" + pname + "' cannot be used (" + e.GetMsg() + ")");
        }
        by_name.emplace(pname, &values.back());
        cache.clear();  // a name may have been read as something else before
    }
};

std::vector<std::string> tokens_of(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string t;
    while (in >> t) out.push_back(t);
    return out;
}

bool whole_number(const std::string& t, long long& v) {
    if (t.empty()) return false;
    for (char c : t)
        if (c < '0' || c > '9') return false;
    if (t.size() > 12) return false;
    v = std::atoll(t.c_str());
    return true;
}

// "1,2,2" -> species positions; "0" -> none.
std::vector<int> species_list(Reader& rd, const std::string& t, std::size_t num_species,
                              const char* what) {
    std::vector<int> out;
    if (t == "0") return out;
    std::size_t start = 0;
    while (start <= t.size()) {
        std::size_t end = t.find(',', start);
        if (end == std::string::npos) end = t.size();
        long long v = 0;
        const std::string item = t.substr(start, end - start);
        if (!whole_number(item, v) || v < 1)
            rd.fail(std::string(what) + " '" + item + "' is not a species index");
        if (static_cast<std::size_t>(v) > num_species)
            rd.fail(std::string(what) + " " + item + " is not among the " +
                    std::to_string(num_species) + " species");
        out.push_back(static_cast<int>(v - 1));
        start = end + 1;
    }
    return out;
}

void read_parameter(Reader& rd, const std::vector<std::string>& tok, NetModel& net) {
    if (tok.size() < 3) rd.fail("a parameter line needs an index, a name and a value");
    std::string expr;
    for (std::size_t k = 2; k < tok.size(); k++) expr += tok[k];
    const double v = rd.eval(expr, "the value");
    rd.define(tok[1], v);
    net.parameters.emplace_back(tok[1], v);
}

void read_species(Reader& rd, const std::vector<std::string>& tok, NetModel& net) {
    if (tok.size() != 3) rd.fail("a species line needs an index, a pattern and a count");
    long long index = 0;
    if (!whole_number(tok[0], index) || index != static_cast<long long>(net.species.size()) + 1)
        rd.fail("species index '" + tok[0] + "' is not " + std::to_string(net.species.size() + 1));
    if (!tok[1].empty() && tok[1][0] == '$')
        rd.fail("species " + tok[1] + " has a fixed count, which plenta cannot hold");
    const double c = rd.eval(tok[2], "the initial count");
    if (!(c >= 0.0 && c <= static_cast<double>(std::numeric_limits<int>::max()) &&
          c == std::floor(c)))
        rd.fail("initial count " + tok[2] + " = " + std::to_string(c) +
                " is not a whole number from 0 to 2147483647");
    net.species.push_back(NetSpecies{tok[1], static_cast<long long>(c), rd.line});
}

void read_reaction(Reader& rd, const std::vector<std::string>& tok, const std::string& comment,
                   NetModel& net) {
    if (tok.size() != 4)
        rd.fail("a reaction line needs an index, reactants, products and one rate expression");
    long long index = 0;
    if (!whole_number(tok[0], index) || index != static_cast<long long>(net.reactions.size()) + 1)
        rd.fail("reaction index '" + tok[0] + "' is not " +
                std::to_string(net.reactions.size() + 1));
    NetReaction r;
    r.line = rd.line;
    r.reactants = species_list(rd, tok[1], net.species.size(), "reactant");
    r.products = species_list(rd, tok[2], net.species.size(), "product");
    r.rate_text = tok[3];
    r.rate = rd.eval(tok[3], "the rate law");
    if (r.rate < 0.0) rd.fail("the rate law '" + tok[3] + "' is negative");
    r.rule = comment;
    net.reactions.push_back(std::move(r));
}

void read_group(Reader& rd, const std::vector<std::string>& tok, NetModel& net) {
    if (tok.size() != 2 && tok.size() != 3) rd.fail("a group line needs an index, a name and species");
    NetGroup g;
    g.name = tok[1];
    g.line = rd.line;
    if (tok.size() == 3) {
        std::size_t start = 0;
        const std::string& t = tok[2];
        while (start <= t.size()) {
            std::size_t end = t.find(',', start);
            if (end == std::string::npos) end = t.size();
            std::string item = t.substr(start, end - start);
            double weight = 1.0;
            const std::size_t star = item.find('*');
            if (star != std::string::npos) {
                char* stop = nullptr;
                const std::string w = item.substr(0, star);
                weight = std::strtod(w.c_str(), &stop);
                if (w.empty() || *stop != '\0' || !std::isfinite(weight))
                    rd.fail("group weight '" + w + "' is not a number");
                item = item.substr(star + 1);
            }
            const std::vector<int> s = species_list(rd, item, net.species.size(), "group species");
            if (s.size() != 1) rd.fail("group term '" + item + "' is not one species index");
            g.terms.emplace_back(s[0], weight);
            start = end + 1;
        }
    }
    net.groups.push_back(std::move(g));
}

}  // namespace

NetModel parse_net(const std::string& text, const std::string& name) {
    Reader rd;
    rd.name = name;
    NetModel net;
    Block block = Block::kNone;
    std::istringstream in(text);
    std::string raw;
    while (std::getline(in, raw)) {
        rd.line += 1;
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        std::string comment;
        const std::size_t hash = raw.find('#');
        if (hash != std::string::npos) {
            comment = raw.substr(hash + 1);
            raw.resize(hash);
        }
        const std::vector<std::string> tok = tokens_of(raw);
        if (tok.empty()) continue;
        if (tok[0] == "begin" || tok[0] == "end") {
            if (tok.size() != 2) rd.fail("'" + raw + "' is not a block line");
            const std::string& b = tok[1];
            if (tok[0] == "end") {
                if (b == "model" && block == Block::kNone) continue;
                if (block == Block::kNone) rd.fail("'end " + b + "' outside a block");
                block = Block::kNone;
                continue;
            }
            if (block != Block::kNone) rd.fail("'begin " + b + "' inside another block");
            if (b == "parameters") block = Block::kParameters;
            else if (b == "species") block = Block::kSpecies;
            else if (b == "reactions") block = Block::kReactions;
            else if (b == "groups") block = Block::kGroups;
            else if (b == "model") continue;  // a file may enclose the blocks in a model block
            else rd.fail("block '" + b + "' is not one a network can be converted from "
                         "(parameters, species, reactions, groups)");
            continue;
        }
        switch (block) {
            case Block::kParameters: read_parameter(rd, tok, net); break;
            case Block::kSpecies: read_species(rd, tok, net); break;
            case Block::kReactions: read_reaction(rd, tok, comment, net); break;
            case Block::kGroups: read_group(rd, tok, net); break;
            default: rd.fail("'" + raw + "' stands outside every block");
        }
    }
    if (block != Block::kNone) rd.fail("the file ends inside a block");
    if (net.species.empty()) throw NetError(name + ": the network has no species");
    if (net.reactions.empty()) throw NetError(name + ": the network has no reactions");
    return net;
}

NetModel read_net(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) throw NetError(path + ": cannot be opened");
    std::ostringstream text;
    text << f.rdbuf();
    return parse_net(text.str(), path);
}

}  // namespace net2plenta
