// Formula rate laws: name resolution, rule expansion, compilation into the
// expression parser's byte code, evaluation, and the order estimate that
// tau selection uses.
#include "model/rate_law.h"

#include <muParser.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>

namespace plenta {

const char kVolumeName[] = "volume";

// ---- Functions the parser does not have built in ----

namespace {

double fn_pow(double a, double b) { return std::pow(a, b); }
double fn_floor(double a) { return std::floor(a); }
double fn_ceil(double a) { return std::ceil(a); }
double fn_not(double a) { return a == 0.0 ? 1.0 : 0.0; }
double fn_if(double c, double a, double b) { return c != 0.0 ? a : b; }

double fn_and(const double* v, int n) {
    for (int i = 0; i < n; i++)
        if (v[i] == 0.0) return 0.0;
    return 1.0;
}
double fn_or(const double* v, int n) {
    for (int i = 0; i < n; i++)
        if (v[i] != 0.0) return 1.0;
    return 0.0;
}

// piecewise(v1, c1, v2, c2, ..., otherwise): the first value whose condition
// holds, else the last argument when their number is odd, else NaN (which a
// propensity reports as a fault: the law has no value there).
double fn_piecewise(const double* v, int n) {
    int i = 0;
    for (; i + 1 < n; i += 2)
        if (v[i + 1] != 0.0) return v[i];
    return i < n ? v[i] : std::numeric_limits<double>::quiet_NaN();
}

bool is_name_start(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool is_name_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
bool is_digit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// One pass over the names of an expression.  Numbers (with a decimal
// exponent) are skipped whole, so that the "e5" of 1e5 is not a name; a name
// followed by "(" is a function.  `on_name(name, begin, end)` is called for
// every other name.
template <class F>
void for_each_name(const std::string& text, F on_name) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        const char c = text[i];
        if (is_digit(c) || (c == '.' && i + 1 < n && is_digit(text[i + 1]))) {
            while (i < n && (is_digit(text[i]) || text[i] == '.')) i++;
            if (i < n && (text[i] == 'e' || text[i] == 'E')) {
                std::size_t j = i + 1;
                if (j < n && (text[j] == '+' || text[j] == '-')) j++;
                if (j < n && is_digit(text[j])) {
                    i = j;
                    while (i < n && is_digit(text[i])) i++;
                }
            }
        } else if (is_name_start(c)) {
            const std::size_t begin = i;
            while (i < n && is_name_char(text[i])) i++;
            std::size_t j = i;
            while (j < n && std::isspace(static_cast<unsigned char>(text[j]))) j++;
            if (j < n && text[j] == '(') continue;  // a function
            on_name(text.substr(begin, i - begin), begin, i);
        } else {
            i++;
        }
    }
}

int find_sorted(const std::vector<std::pair<std::string, int>>& index, const std::string& name) {
    auto it = std::lower_bound(index.begin(), index.end(), std::make_pair(name, -1));
    if (it == index.end() || it->first != name) return -1;
    return it->second;
}

// Constants the parser defines itself.
bool is_parser_constant(const std::string& name) { return name == "_pi" || name == "_e"; }

std::string expand(const std::string& text, const FormulaNames& names,
                   std::vector<int>& in_progress, std::string& error) {
    std::string out;
    std::size_t copied = 0;
    for_each_name(text, [&](const std::string& name, std::size_t begin, std::size_t end) {
        if (!error.empty()) return;
        if (names.species(name) >= 0 || names.parameter(name) >= 0) return;
        const int r = names.rule(name);
        if (r < 0) return;
        if (std::find(in_progress.begin(), in_progress.end(), r) != in_progress.end()) {
            error = "rule \"" + name + "\" is defined through itself.";
            return;
        }
        in_progress.push_back(r);
        const std::string inner =
            expand(names.scope().rules[static_cast<std::size_t>(r)].expression, names,
                   in_progress, error);
        in_progress.pop_back();
        out.append(text, copied, begin - copied);
        out += "(" + inner + ")";
        copied = end;
    });
    out.append(text, copied, std::string::npos);
    return out;
}

}  // namespace

// ---- Names ----

FormulaNames::FormulaNames(const std::vector<Compound>& species, const FormulaScope& scope)
    : scope_(scope) {
    for (std::size_t c = 0; c < species.size(); c++)
        species_.emplace_back(species[c].name, static_cast<int>(c));
    for (std::size_t p = 0; p < scope.parameters.size(); p++)
        parameters_.emplace_back(scope.parameters[p].name, static_cast<int>(p));
    for (std::size_t r = 0; r < scope.rules.size(); r++)
        rules_.emplace_back(scope.rules[r].name, static_cast<int>(r));
    // The first of equal names keeps its position: stable sort, first wins.
    auto by_name = [](const std::pair<std::string, int>& a, const std::pair<std::string, int>& b) {
        return a.first < b.first;
    };
    std::stable_sort(species_.begin(), species_.end(), by_name);
    std::stable_sort(parameters_.begin(), parameters_.end(), by_name);
    std::stable_sort(rules_.begin(), rules_.end(), by_name);

    auto twice = [](const std::vector<std::pair<std::string, int>>& v) -> std::string {
        for (std::size_t i = 1; i < v.size(); i++)
            if (v[i].first == v[i - 1].first) return v[i].first;
        return "";
    };
    // Species names may repeat in existing models (nothing read them by
    // name); a formula cannot tell such species apart, so only the names a
    // formula could mean are checked.
    std::string dup = twice(parameters_);
    if (!dup.empty()) {
        conflict_ = "parameter \"" + dup + "\" is given twice.";
        return;
    }
    dup = twice(rules_);
    if (!dup.empty()) {
        conflict_ = "rule \"" + dup + "\" is given twice.";
        return;
    }
    for (const NamedValue& p : scope.parameters) {
        if (p.name.empty() || !is_name_start(p.name[0]) ||
            !std::all_of(p.name.begin(), p.name.end(), is_name_char)) {
            conflict_ = "parameter name \"" + p.name +
                        "\" is not a name (letters, digits and '_', not starting with a digit).";
            return;
        }
        if (find_sorted(species_, p.name) >= 0) {
            conflict_ = "parameter \"" + p.name + "\" has the name of a species.";
            return;
        }
    }
    for (const AssignmentRule& r : scope.rules) {
        if (r.name.empty() || !is_name_start(r.name[0]) ||
            !std::all_of(r.name.begin(), r.name.end(), is_name_char)) {
            conflict_ = "rule name \"" + r.name +
                        "\" is not a name (letters, digits and '_', not starting with a digit).";
            return;
        }
        if (find_sorted(species_, r.name) >= 0 || find_sorted(parameters_, r.name) >= 0) {
            conflict_ = "rule \"" + r.name + "\" has the name of a species or parameter.";
            return;
        }
    }
}

int FormulaNames::species(const std::string& name) const { return find_sorted(species_, name); }
int FormulaNames::parameter(const std::string& name) const {
    return find_sorted(parameters_, name);
}
int FormulaNames::rule(const std::string& name) const { return find_sorted(rules_, name); }

std::string expand_rules(const std::string& text, const FormulaNames& names, std::string& error) {
    std::vector<int> in_progress;
    error.clear();
    std::string out = expand(text, names, in_progress, error);
    return error.empty() ? out : std::string();
}

// ---- Compiled law ----

struct RateLaw::Parser {
    mu::Parser p;
};

RateLaw::RateLaw() = default;
RateLaw::~RateLaw() = default;

// Binds every slot to its name, defines the functions and compiles the
// expanded text; the first evaluation turns the parsed expression into byte
// code, so it is done here, once.
// Parameters and the volume are compiled in as constants, so that the
// parser's optimiser folds them (k*X becomes one multiply of a slot); a law
// whose parameter values or volume change (a parameter set, another run)
// is compiled again at its next evaluation.
bool RateLaw::build(std::string& error) const {
    parser_ = std::make_unique<Parser>();
    slots_.assign(species_read_.size(), 1.0);
    constants_.resize(parameter_names_.size() + (reads_volume_ ? 1 : 0), 1.0);
    mu::Parser& p = parser_->p;
    try {
        p.DefineFun("pow", fn_pow);
        p.DefineFun("floor", fn_floor);
        p.DefineFun("ceil", fn_ceil);
        p.DefineFun("not", fn_not);
        p.DefineFun("if", fn_if);
        p.DefineFun("and", fn_and);
        p.DefineFun("or", fn_or);
        p.DefineFun("piecewise", fn_piecewise);
        p.DefineInfixOprt("!", fn_not);
        std::size_t k = 0;
        for (const std::string& name : species_names_) p.DefineVar(name, &slots_[k++]);
        std::size_t c = 0;
        for (const std::string& name : parameter_names_) p.DefineConst(name, constants_[c++]);
        if (reads_volume_) p.DefineConst(kVolumeName, constants_[c++]);
        p.SetExpr(expanded_);
        (void)p.Eval();
    } catch (const mu::Parser::exception_type& e) {
        error = e.GetMsg();
        return false;
    }
    return true;
}

std::unique_ptr<RateLaw> RateLaw::compile(const std::string& text, const FormulaNames& names,
                                          std::string& error) {
    error.clear();
    if (!names.conflict().empty()) {
        error = names.conflict();
        return nullptr;
    }
    std::unique_ptr<RateLaw> law(new RateLaw());
    law->text_ = text;
    law->expanded_ = expand_rules(text, names, error);
    if (!error.empty()) return nullptr;
    if (law->expanded_.find_first_not_of(" \t\r\n") == std::string::npos) {
        error = "the formula is empty.";
        return nullptr;
    }

    std::vector<std::pair<int, std::string>> species;
    std::vector<std::string>& params = law->parameter_names_;
    for_each_name(law->expanded_, [&](const std::string& name, std::size_t, std::size_t) {
        if (!error.empty()) return;
        const int s = names.species(name);
        if (s >= 0) {
            species.emplace_back(s, name);
        } else if (names.parameter(name) >= 0) {
            if (std::find(params.begin(), params.end(), name) == params.end())
                params.push_back(name);
        } else if (name == kVolumeName) {
            law->reads_volume_ = true;
        } else if (!is_parser_constant(name)) {
            error = "\"" + name + "\" is not a species, parameter, rule or \"volume\".";
        }
    });
    if (!error.empty()) return nullptr;
    std::sort(species.begin(), species.end());
    species.erase(std::unique(species.begin(), species.end()), species.end());
    for (const auto& s : species) {
        law->species_read_.push_back(s.first);
        law->species_names_.push_back(s.second);
    }
    if (!law->build(error)) return nullptr;
    return law;
}

std::unique_ptr<RateLaw> RateLaw::clone() const {
    std::unique_ptr<RateLaw> law(new RateLaw());
    law->text_ = text_;
    law->expanded_ = expanded_;
    law->species_read_ = species_read_;
    law->species_names_ = species_names_;
    law->parameter_names_ = parameter_names_;
    law->reads_volume_ = reads_volume_;
    law->order_ = order_;
    law->constants_ = constants_;
    std::string error;
    law->build(error);  // compiled once already: cannot fail
    return law;
}

namespace {
bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }
}  // namespace

void RateLaw::recompile(const RateConstant* params, double volume) const {
    std::size_t c = 0;
    for (std::size_t k = 0; k < parameter_names_.size(); k++) constants_[c++] = params[k].value;
    if (reads_volume_) constants_[c] = volume;
    std::string error;
    build(error);  // compiled once already: the text parses
}

double RateLaw::evaluate(const std::vector<Compound>& species, const RateConstant* params,
                         double volume) const {
    const std::size_t np = parameter_names_.size();
    bool same = true;
    for (std::size_t k = 0; k < np; k++) same = same && same_bits(params[k].value, constants_[k]);
    if (reads_volume_) same = same && same_bits(volume, constants_[np]);
    if (!same) recompile(params, volume);
    double* slot = slots_.data();
    const Compound* counts = species.data();
    for (int s : species_read_) *slot++ = static_cast<double>(counts[s].count);
    return parser_->p.Eval();
}

// ---- The owning handle of a reaction ----

RateLawRef::RateLawRef() = default;
RateLawRef::RateLawRef(std::unique_ptr<RateLaw> law) : law_(std::move(law)) {}
RateLawRef::RateLawRef(const RateLawRef& other)
    : law_(other.law_ ? other.law_->clone() : nullptr) {}
RateLawRef::RateLawRef(RateLawRef&& other) noexcept = default;
RateLawRef& RateLawRef::operator=(const RateLawRef& other) {
    if (this != &other) law_ = other.law_ ? other.law_->clone() : nullptr;
    return *this;
}
RateLawRef& RateLawRef::operator=(RateLawRef&& other) noexcept = default;
RateLawRef::~RateLawRef() = default;

// ---- Reactions ----

int estimate_order(const RateLaw& law, const std::vector<Compound>& species,
                   const RateConstant* params, double volume) {
    std::vector<Compound> probe(species);
    double largest = 1.0;
    auto measure = [&]() {
        const double a = law.evaluate(probe, params, volume);
        if (!(a > 0.0) || !std::isfinite(a)) return;
        double sum = 0.0;
        for (int s : law.species_read()) {
            const int x = probe[static_cast<std::size_t>(s)].count;
            if (x >= std::numeric_limits<int>::max()) continue;
            // Central difference where the count can go down, else forward.
            const int below = x >= 1 ? x - 1 : x;
            probe[static_cast<std::size_t>(s)].count = x + 1;
            const double up = law.evaluate(probe, params, volume);
            probe[static_cast<std::size_t>(s)].count = below;
            const double down = law.evaluate(probe, params, volume);
            probe[static_cast<std::size_t>(s)].count = x;
            const double slope = (up - down) / static_cast<double>(x + 1 - below);
            if (!std::isfinite(slope)) continue;
            sum += std::fabs(slope) * std::max(1, x) / a;
        }
        largest = std::max(largest, sum);
    };
    measure();
    for (int level : {10, 100, 1000, 10000}) {
        for (int s : law.species_read()) probe[static_cast<std::size_t>(s)].count = level;
        measure();
    }
    constexpr double kMaxOrder = 10.0;
    return static_cast<int>(std::ceil(std::min(largest, kMaxOrder) - 1e-9));
}

std::string compile_formula_reaction(Reaction& reaction, const std::string& text,
                                     const std::vector<Compound>& species,
                                     const FormulaNames& names, double volume) {
    std::string error;
    std::unique_ptr<RateLaw> law = RateLaw::compile(text, names, error);
    if (!law) return error;
    reaction.rates.clear();
    for (const std::string& name : law->parameter_names()) {
        RateConstant k;
        k.value = names.scope().parameters[static_cast<std::size_t>(names.parameter(name))].value;
        const std::size_t n = std::min(name.size(), static_cast<std::size_t>(kNameLen - 1));
        name.copy(k.name, n);
        k.name[n] = '\0';
        reaction.rates.push_back(k);
    }
    reaction.num_rates = static_cast<int>(reaction.rates.size());
    law->set_order(estimate_order(*law, species, reaction.rates.data(), volume));
    reaction.law = RateLawRef(std::move(law));
    return "";
}

void add_named_change(ParamSet& set, const std::vector<Reaction>& reactions,
                      const std::string& name, double value) {
    for (std::size_t r = 0; r < reactions.size(); r++) {
        if (!reactions[r].law) continue;
        const std::vector<std::string>& names = reactions[r].law->parameter_names();
        auto it = std::find(names.begin(), names.end(), name);
        if (it == names.end()) continue;
        RateConstant change;
        change.index = static_cast<int>(it - names.begin());
        change.value = value;
        set.rate_rxn.push_back(static_cast<int>(r));
        set.rates.push_back(change);
        set.num_rates = static_cast<int>(set.rates.size());
    }
}

// ---- Rules for monitoring ----

std::string RuleValues::compile(const FormulaNames& names) {
    laws_.clear();
    params_.clear();
    for (const AssignmentRule& rule : names.scope().rules) {
        std::string error;
        std::unique_ptr<RateLaw> law = RateLaw::compile(rule.name, names, error);
        if (!law) return "rule \"" + rule.name + "\": " + error;
        std::vector<RateConstant> values;
        for (const std::string& name : law->parameter_names()) {
            RateConstant k;
            k.value =
                names.scope().parameters[static_cast<std::size_t>(names.parameter(name))].value;
            values.push_back(k);
        }
        laws_.push_back(std::move(law));
        params_.push_back(std::move(values));
    }
    return "";
}

RuleValues::RuleValues(const RuleValues& other) : params_(other.params_) {
    for (const auto& law : other.laws_) laws_.push_back(law->clone());
}

RuleValues& RuleValues::operator=(const RuleValues& other) {
    if (this != &other) {
        RuleValues copy(other);
        *this = std::move(copy);
    }
    return *this;
}

void RuleValues::set_parameter(const std::string& name, double value) {
    for (std::size_t r = 0; r < laws_.size(); r++) {
        const std::vector<std::string>& names = laws_[r]->parameter_names();
        for (std::size_t k = 0; k < names.size(); k++)
            if (names[k] == name) params_[r][k].value = value;
    }
}

double RuleValues::value(int rule, const std::vector<Compound>& species, double volume) const {
    const std::size_t r = static_cast<std::size_t>(rule);
    return laws_[r]->evaluate(species, params_[r].data(), volume);
}

}  // namespace plenta
