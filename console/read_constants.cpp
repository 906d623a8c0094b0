// The model-file reader: the header as the driver reads it, and
// read_constants, which skips the header and reads the species, the reaction
// blocks, the simulation parameters and the further parameter sets.
//
// The reader works strictly front to back.  It branches only on what the
// format itself branches on (the reaction type, num_prods being 0, algorithm
// 3, num_sets above 1) and never tests whether a read matched: a misspelt key
// leaves its field at its previous value and the next read starts at the
// character where matching stopped.  What it does guard against is allocation:
// a list is allocated only for a count between 0 and the number of characters
// still to read (every entry takes at least one), and only while all the lists
// of the file together hold no more entries than half the file's characters
// (every entry a file carries takes at least two).  So neither one huge or
// negative count nor many large ones can exhaust memory or make the network
// builders' work grow with the square of the file's size; the list then stays
// empty and validate_model reports the count.
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "console/console.h"

namespace plenta {

namespace {

// The entries that the lists read from one file may still take.  Every entry
// a file really carries takes at least two characters of it (a number and the
// white space or key after it), so a file of n characters needs at most n / 2
// entries in all.  Counts whose lines are missing still get their zero-filled
// entries, as the format means, up to that bound.
struct ListBudget {
    std::size_t entries_left;

    // Whether a list of `count` entries can be allocated for the rest of the
    // text; if so its entries are taken from the budget.
    bool take(int count, const TextScanner& in) {
        if (count < 0) return false;
        std::size_t n = static_cast<std::size_t>(count);
        if (n > in.remaining() || n > entries_left) return false;
        entries_left -= n;
        return true;
    }
};

// Length of the line that starts at the scanner's position, without its line end.
std::size_t line_length_here(const TextScanner& in) {
    const std::string& text = in.text();
    std::size_t end = text.find('\n', in.pos());
    if (end == std::string::npos) return text.size() - in.pos();
    if (end > in.pos() && text[end - 1] == '\r') end--;
    return end - in.pos();
}

// Whether the next token, after white space, is exactly `key`.
bool next_token_is(const TextScanner& in, const char* key) {
    const std::string& text = in.text();
    std::size_t i = in.pos();
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) i++;
    const std::size_t n = std::strlen(key);
    if (text.compare(i, n, key) != 0) return false;
    return i + n == text.size() || std::isspace(static_cast<unsigned char>(text[i + n]));
}

// The rest of the current line after `key =` (white space trimmed), read
// only when the next token is `key`; "" otherwise (nothing consumed).
std::string read_keyed_line(TextScanner& in, const char* key) {
    if (!next_token_is(in, key)) return "";
    in.scan(" ");
    in.scan(key);
    in.scan(" =");
    std::optional<std::string> rest = in.get_line();
    if (!rest) return "";
    std::string text = *rest;
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    const std::size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

void note(ReadNotes* notes, ReadNotes::Fault fault, int position, int entry, std::size_t length) {
    if (notes == nullptr || notes->fault != ReadNotes::kNone) return;
    notes->fault = fault;
    notes->position = position;
    notes->entry = entry;
    notes->length = length;
}

// The format as a reader would write the line: conversions as <number> or
// <name>, white space as one blank, e.g. "StoP = <number>".
std::string format_as_text(const char* format) {
    std::string text;
    bool space = false;
    for (const char* f = format; *f != '\0'; f++) {
        const char c = *f;
        if (c == ' ' || c == '\n' || c == '\t') {
            space = true;
            continue;
        }
        if (space && !text.empty()) text += ' ';
        space = false;
        if (c == '%') {
            if (f[1] == 's') {
                text += "<name>";
                f += 1;
            } else {
                text += "<number>";
                f += f[1] == 'l' ? 2 : 1;
            }
            continue;
        }
        text += c;
    }
    return text;
}

// Where reading the next field starts: past the white space, for the line number.
std::size_t next_text(const TextScanner& in, std::size_t at) {
    const std::string& text = in.text();
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\n' ||
                                text[at] == '\r' || text[at] == '\v' || text[at] == '\f'))
        at++;
    return at;
}

// The line on which the next thing read starts (white space, line ends
// included, skipped): where a formula, parameter or rule line stands.
int next_line(const TextScanner& in) {
    return static_cast<int>(in.line_of(next_text(in, in.pos())));
}

// The line of the text that starts at `at` (white space before it skipped),
// quoted and cut to a length that fits a message.
std::string text_at(const TextScanner& in, std::size_t at) {
    const std::string& text = in.text();
    at = next_text(in, at);
    if (at >= text.size()) return "the end of the file";
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    if (end > at && text[end - 1] == '\r') end--;
    constexpr std::size_t kShown = 40;
    std::string line = text.substr(at, end - at < kShown ? end - at : kShown);
    if (end - at > kShown) line += "...";
    return "\"" + line + "\"";
}

void warn(ReadNotes* notes, const TextScanner& in, std::size_t start, const std::string& where,
          const std::string& expected) {
    if (notes == nullptr) return;
    // Once one read stops at a misspelt key, every later read stops at the
    // same character: one warning says it all.
    if (in.pos() == notes->last_warning_pos) return;
    notes->last_warning_pos = in.pos();
    // Nor is the rest of a line whose start was already reported.
    const std::size_t at = next_text(in, start);
    const long long line = in.line_of(at);
    if (line == notes->last_warning_line) return;
    notes->last_warning_line = line;
    if (notes->warnings.size() >= kMaxReadWarnings) {
        notes->warnings_dropped++;
        return;
    }
    notes->warnings.push_back(ReadWarning{line, where, expected, text_at(in, at)});
}

// A formatted read of one field, as the format prescribes (a mismatch is not
// an error), that notes text left unmatched.
int scan_field(TextScanner& in, ReadNotes* notes, const std::string& where, const char* format,
               std::initializer_list<ScanTarget> targets = {}) {
    const std::size_t start = in.pos();
    const int stored = in.scan(format, targets);
    if (!in.last_scan_complete())
        warn(notes, in, start, where, "\"" + format_as_text(format) + "\"");
    return stored;
}

std::string reaction_where(int rxn) { return "reaction " + std::to_string(rxn); }

// Copies a token into a fixed NUL-terminated field, truncated to what fits;
// false when it had to be truncated.
bool store_text(char* field, std::size_t field_len, const std::string& token) {
    std::size_t n = token.size() < field_len ? token.size() : field_len - 1;
    token.copy(field, n);
    field[n] = '\0';
    return n == token.size();
}

// A header or title line: read and discarded with a line read of at most 79
// characters.  A longer line is consumed in more than one read, which throws
// the rest of the file off; it is noted so that validation can reject it.
void skip_line(TextScanner& in, ReadNotes* notes, ReadNotes::Fault fault, int position) {
    std::size_t length = line_length_here(in);
    bool complete = true;
    in.read_line(kSkipLineChars, &complete);
    if (!complete) note(notes, fault, position, -1, length);
}

// Header lines 4 and 8 are blank in a header of the format's eight lines; text
// there means a line too few or too many, so that the skip of eight lines
// takes a species line or leaves a header line for the species.
void skip_header_line(TextScanner& in, ReadNotes* notes, int line) {
    const std::size_t start = in.pos();
    const std::size_t length = line_length_here(in);
    skip_line(in, notes, ReadNotes::kHeaderLine, line);
    if (notes == nullptr || (line != 4 && line != 8)) return;
    const std::string& text = in.text();
    for (std::size_t k = start; k < start + length; k++) {
        const char c = text[k];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f') continue;
        if (notes->warnings.size() >= kMaxReadWarnings) {
            notes->warnings_dropped++;
            return;
        }
        notes->warnings.push_back(
            ReadWarning{in.line_of(start), "header",
                        "a blank line (the header is three names, a blank line, num_sets, "
                        "num_rxns, num_cmpds and a blank line: line " +
                            std::to_string(line) + " is skipped as a header line)",
                        text_at(in, start)});
        return;
    }
}

void read_species(TextScanner& in, std::vector<Compound>& species, ReadNotes* notes) {
    for (std::size_t c = 0; c < species.size(); c++) {
        std::string name;
        if (scan_field(in, notes, "species " + std::to_string(c), "%s %d",
                       {&name, &species[c].count}) >= 1 &&
            !store_text(species[c].name, kNameLen, name))
            note(notes, ReadNotes::kSpeciesName, static_cast<int>(c), -1, name.size());
    }
    in.scan("\n");
}

// Substrate lines: a position only for the fixed-shape types; position and
// coefficient for types 6, 7 and 9; and the exponent as well for "n-order".
void read_substrates(TextScanner& in, Reaction& r, const std::string& where, ReadNotes* notes) {
    const std::string what = where + ", substrates";
    for (std::size_t j = 0; j < r.subs_index.size(); j++) {
        switch (r.rxn_index) {
            case kTransv1:
            case kGenmm:
            case kUndef:
            case kMassAction:
            case kFormula:
                scan_field(in, notes, what, " %d %d\n", {&r.subs_index[j], &r.subs_coef[j]});
                break;
            case kNOrder:
                scan_field(in, notes, what, " %d %d %le\n",
                           {&r.subs_index[j], &r.subs_coef[j], &r.subs_order[j]});
                break;
            default:
                scan_field(in, notes, what, "%d\n", {&r.subs_index[j]});
                break;
        }
    }
}

// Product lines: a position only for the fixed-shape types except
// "uni-multi", which like types 6 to 9 also gives a coefficient.
void read_products(TextScanner& in, Reaction& r, const std::string& where, ReadNotes* notes) {
    const std::string what = where + ", products";
    for (std::size_t j = 0; j < r.prods_index.size(); j++) {
        switch (r.rxn_index) {
            case kBinding:
            case kUniqueBiBi:
            case kUnbinding:
            case kUniUni:
            case kHomoLtor:
                scan_field(in, notes, what, " %d\n", {&r.prods_index[j]});
                break;
            default:
                scan_field(in, notes, what, " %d %d\n", {&r.prods_index[j], &r.prods_coef[j]});
                break;
        }
    }
}

// "genmm": one constant per substrate.  The first stands on the "StoP" line;
// the others are read with "%le ", so they may follow on that line or on the
// next ones.
void read_genmm_rates(TextScanner& in, Reaction& r, int num_subs, ListBudget& budget,
                      const std::string& where, ReadNotes* notes) {
    r.num_rates = num_subs;
    if (budget.take(r.num_rates, in)) r.rates.assign(static_cast<std::size_t>(r.num_rates), {});
    double unstored = 0.0;  // the first value's home when there is no entry for it
    scan_field(in, notes, where, "StoP = %le \n", {r.rates.empty() ? &unstored : &r.rates[0].value});
    for (std::size_t j = 1; j < r.rates.size(); j++)
        scan_field(in, notes, where + ", rate constant " + std::to_string(j), "%le ",
                   {&r.rates[j].value});
}

// "undef": the formula as one token (cut at the first blank; it is stored,
// never evaluated), a label with the number of named constants, then one line
// per constant.
void read_undef_rates(TextScanner& in, Reaction& r, int rxn, ListBudget& budget,
                      ReadNotes* notes) {
    const std::string where = reaction_where(rxn);
    std::string formula;
    if (scan_field(in, notes, where + ", formula", "%s\n", {&formula}) == 1 &&
        !store_text(r.formula, kFormulaLen, formula))
        note(notes, ReadNotes::kFormula, rxn, -1, formula.size());
    std::string label;  // discarded
    scan_field(in, notes, where, "%s %d\n", {&label, &r.num_rates});
    if (budget.take(r.num_rates, in)) r.rates.assign(static_cast<std::size_t>(r.num_rates), {});
    for (std::size_t j = 0; j < r.rates.size(); j++) {
        std::string name;
        if (scan_field(in, notes, where + ", rate constant " + std::to_string(j), "%s %le\n",
                       {&name, &r.rates[j].value}) >= 1 &&
            !store_text(r.rates[j].name, kNameLen, name))
            note(notes, ReadNotes::kConstantName, rxn, static_cast<int>(j), name.size());
    }
}

void read_rate_constants(TextScanner& in, Reaction& r, int num_subs, int rxn, ListBudget& budget,
                         ReadNotes* notes) {
    const std::string where = reaction_where(rxn);
    switch (r.rxn_index) {
        case kGenmm:
            read_genmm_rates(in, r, num_subs, budget, where, notes);
            break;
        case kNOrder:
            r.num_rates = 2;
            r.rates.assign(2, {});
            scan_field(in, notes, where, "StoP = %le %le \n", {&r.rates[0].value, &r.rates[1].value});
            break;
        case kUndef:
            read_undef_rates(in, r, rxn, budget, notes);
            break;
        default:
            r.num_rates = 1;
            r.rates.assign(1, {});
            scan_field(in, notes, where, "StoP = %le \n", {&r.rates[0].value});
            break;
    }
}

// One reaction block: title line, type, substrates, products with the rate
// constants (only when there are products, or for "mass-action"), id.
void read_reaction(TextScanner& in, Reaction& r, int& num_subs, int& num_prods, int rxn,
                   ListBudget& budget, ReadNotes* notes, FormulaSection* formulas) {
    skip_line(in, notes, ReadNotes::kTitleLine, rxn);
    const std::string where = reaction_where(rxn);
    std::string type;
    if (scan_field(in, notes, where, "rxntype = %s\n", {&type}) == 1 &&
        !store_text(r.rxntype, kNameLen, type))
        note(notes, ReadNotes::kTypeName, rxn, -1, type.size());
    r.rxn_index = assign_rxn_index(r.rxntype);

    scan_field(in, notes, where, "num_subs = %d", {&num_subs});
    if (budget.take(num_subs, in)) {
        std::size_t m = static_cast<std::size_t>(num_subs);
        r.subs_index.assign(m, 0);
        r.subs_coef.assign(m, 0);
        r.subs_order.assign(m, 0.0);
    }
    read_substrates(in, r, where, notes);
    if (r.rxn_index == kMassAction) in.scan("\n");  // a source has no substrate line to end

    if (r.rxn_index == kFormula) in.scan(" ");  // after "num_subs = 0" too
    scan_field(in, notes, where, "num_prods = %d\n", {&num_prods});
    if (r.rxn_index == kFormula) {
        // A formula reaction may have no substrates or no products; its rate
        // stands on its own line after the products.
        if (budget.take(num_prods, in)) {
            r.prods_index.assign(static_cast<std::size_t>(num_prods), 0);
            r.prods_coef.assign(static_cast<std::size_t>(num_prods), 0);
        }
        read_products(in, r, where, notes);
        const int line = next_line(in);
        std::string rate = read_keyed_line(in, "rate");
        if (formulas != nullptr) {
            formulas->rate_lines[static_cast<std::size_t>(rxn)] = line;
            formulas->rates[static_cast<std::size_t>(rxn)] = rate;
        }
    } else if (num_prods != 0) {
        if (budget.take(num_prods, in)) {
            r.prods_index.assign(static_cast<std::size_t>(num_prods), 0);
            r.prods_coef.assign(static_cast<std::size_t>(num_prods), 0);
        }
        read_products(in, r, where, notes);
        read_rate_constants(in, r, num_subs, rxn, budget, notes);
    } else if (r.rxn_index == kMassAction) {
        read_rate_constants(in, r, num_subs, rxn, budget, notes);  // a degradation
    }
    scan_field(in, notes, where, "id = %d\n\n", {&r.id});
}

void read_parameters(TextScanner& in, ModelSizes& sizes, SimParams& params, ListBudget& budget,
                     ReadNotes* notes) {
    const std::string where = "parameters";
    scan_field(in, notes, where, "time_start = %le\n", {&params.time_start});
    scan_field(in, notes, where, "time_end = %le\n", {&params.time_end});
    scan_field(in, notes, where, "volume = %le\n", {&params.volume});
    scan_field(in, notes, where, "algorithm = %d\n", {&params.algorithm});
    // Only tau-leaping has an error bound; with any other method the line must
    // be absent, or the randseed read stops on it.
    if (params.algorithm == kTauLeaping)
        scan_field(in, notes, where, "tau_error = %le\n", {&params.tau_error});
    if (scan_field(in, notes, where, "randseed = %lu\n\n", {&params.randseed}) == 1 &&
        notes != nullptr) {
        notes->randseed_read = true;
        notes->randseed_as_written = in.last_unsigned_as_written();
    }
    scan_field(in, notes, where, "num_monit = %d\n", {&sizes.num_monit});
    if (budget.take(sizes.num_monit, in))
        params.monit.assign(static_cast<std::size_t>(sizes.num_monit), 0);
    for (int& m : params.monit) scan_field(in, notes, "monitored species", "%d\n", {&m});
    scan_field(in, notes, where, "snapshot_interval = %le\n", {&params.snapshot_interval});
    scan_field(in, notes, where, "eventlog_flag = %d\n", {&params.eventlog_flag});
    int unstored = 0;  // the first set's runs when no set was allocated
    scan_field(in, notes, where, "num_repeats = %d\n",
               {params.num_repeats.empty() ? &unstored : &params.num_repeats[0]});
    in.scan("\n");
}

// The sections of a model with formula reactions, each present only when
// its key is the next token: named parameters ("parameters = n", then n
// lines "name value") and assignment rules ("rules = n", then n lines
// "name = expression").  A file without them reads exactly as before.
void read_formula_sections(TextScanner& in, FormulaSection& f, ListBudget& budget) {
    if (next_token_is(in, "parameters")) {
        int n = 0;
        in.scan(" parameters = %d\n", {&n});
        if (budget.take(n, in)) {
            for (int k = 0; k < n; k++) {
                NamedValue p;
                f.parameter_lines.push_back(next_line(in));
                in.scan(" %s %le\n", {&p.name, &p.value});
                f.scope.parameters.push_back(p);
            }
        }
    }
    if (next_token_is(in, "rules")) {
        int n = 0;
        in.scan(" rules = %d\n", {&n});
        if (budget.take(n, in)) {
            for (int k = 0; k < n; k++) {
                in.scan(" ");
                f.rule_lines.push_back(next_line(in));
                AssignmentRule rule;
                std::optional<std::string> line = in.get_line();
                std::string text = line ? *line : std::string();
                const std::size_t eq = text.find('=');
                auto trim = [](const std::string& v) {
                    const std::size_t a = v.find_first_not_of(" \t\r");
                    if (a == std::string::npos) return std::string();
                    return v.substr(a, v.find_last_not_of(" \t\r") - a + 1);
                };
                rule.name = trim(text.substr(0, eq));
                rule.expression = eq == std::string::npos ? std::string() : trim(text.substr(eq + 1));
                f.scope.rules.push_back(rule);
            }
        }
    }
    in.scan("\n");
}

// ---- The events section ----
//
// "events = N", then N blocks: a title line, "trigger = ...", the optional
// lines "priority = ", "delay = ", "values = ", "initial = ", "persistent = "
// in any order, "assignments = M" and M lines "target = expression".  Blank
// lines may stand between the lines of the section (not among the M
// assignment lines).  Unlike the fixed sections, this one is read line by
// line and a line that does not fit ends the read with a fault naming the
// line and the event (ReadNotes::event_fault).

std::string trimmed(const std::string& v) {
    const std::size_t a = v.find_first_not_of(" \t\r");
    if (a == std::string::npos) return std::string();
    return v.substr(a, v.find_last_not_of(" \t\r") - a + 1);
}

// Skips blank lines; the line number of the next line.
int skip_blank_lines(TextScanner& in) {
    for (;;) {
        const std::size_t at = in.pos();
        const std::string& text = in.text();
        std::size_t i = at;
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r')) i++;
        if (i < text.size() && text[i] == '\n') {
            in.get_line();
            continue;
        }
        return static_cast<int>(in.line_of(at));
    }
}

// A whole number, nothing else on the line.
bool whole_number(const std::string& text, int& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (end != text.c_str() + text.size() || v < 0 || v > 1000000000L) return false;
    value = static_cast<int>(v);
    return true;
}

// Reads the section into `events`; false with `fault` set at the first line
// that does not fit.
bool read_event_section(TextScanner& in, std::vector<EventDefinition>& events, ListBudget& budget,
                        EventError& fault) {
    const int section_line = skip_blank_lines(in);
    std::optional<std::string> head = in.get_line();
    int n = -1;
    {
        const std::string text = head ? *head : std::string();
        const std::size_t eq = text.find('=');
        if (eq == std::string::npos || trimmed(text.substr(0, eq)) != "events" ||
            !whole_number(trimmed(text.substr(eq + 1)), n) || !budget.take(n, in)) {
            fault = EventError{-1, "", section_line,
                               "expected \"events = <count>\" with a count of events the file holds."};
            return false;
        }
    }
    for (int k = 0; k < n; ++k) {
        EventDefinition e;
        auto fail = [&](int line, const std::string& field, const std::string& message) {
            fault = EventError{k, field, line, message};
            events.push_back(e);  // the title names the event in the message
            return false;
        };
        e.line = skip_blank_lines(in);
        std::optional<std::string> title = in.get_line();
        if (!title) return fail(e.line, "", "the file ends before the event's title line.");
        e.name = trimmed(*title);
        if (title->size() > kMaxSkipLineChars)
            return fail(e.line, "title", "the title line is longer than 78 characters.");
        if (e.name.find('=') != std::string::npos && e.name.rfind("trigger", 0) == 0)
            return fail(e.line, "title", "the title line is missing (found the trigger line).");
        bool have_trigger = false;
        int num_assignments = -1;
        while (num_assignments < 0) {
            const int line = skip_blank_lines(in);
            std::optional<std::string> got = in.get_line();
            if (!got)
                return fail(line, "", "the file ends before the line \"assignments = <count>\".");
            const std::size_t eq = got->find('=');
            const std::string key = trimmed(got->substr(0, eq));
            const std::string value = eq == std::string::npos ? std::string() : trimmed(got->substr(eq + 1));
            if (eq == std::string::npos)
                return fail(line, "", "expected a line \"<key> = <value>\", found \"" + trimmed(*got) + "\".");
            if (!have_trigger && key != "trigger")
                return fail(line, "trigger", "expected the line \"trigger = ...\" after the title line, found \"" +
                                                 trimmed(*got) + "\".");
            bool ok = true;
            if (key == "trigger") {
                if (have_trigger) return fail(line, "trigger", "a second trigger line.");
                have_trigger = true;
                e.trigger = value;
                e.trigger_line = line;
            } else if (key == "priority") {
                e.priority = value;
                e.priority_line = line;
                ok = !value.empty();
            } else if (key == "delay") {
                e.delay = value;
                e.delay_line = line;
                ok = !value.empty();
            } else if (key == "values") {
                e.values_line = line;
                ok = parse_event_values(value, e.values_at_trigger);
                if (!ok) return fail(line, "values", "\"" + value + "\" is neither \"trigger\" nor \"fire\".");
            } else if (key == "initial") {
                e.initial_line = line;
                ok = parse_event_flag(value, e.initial);
                if (!ok) return fail(line, "initial", "\"" + value + "\" is neither \"true\" nor \"false\".");
            } else if (key == "persistent") {
                e.persistent_line = line;
                ok = parse_event_flag(value, e.persistent);
                if (!ok) return fail(line, "persistent", "\"" + value + "\" is neither \"true\" nor \"false\".");
            } else if (key == "assignments") {
                if (!whole_number(value, num_assignments) || !budget.take(num_assignments, in))
                    return fail(line, "assignments", "\"" + value + "\" is not a count of lines the file holds.");
            } else {
                return fail(line, "", "unknown line \"" + key + " = ...\"; expected priority, delay, "
                                      "values, initial, persistent or assignments.");
            }
            if (!ok) return fail(line, key, "the value is missing.");
        }
        for (int a = 0; a < num_assignments; ++a) {
            const int line = static_cast<int>(in.line_of(in.pos()));
            const std::string field = "assignment " + std::to_string(a + 1);
            std::optional<std::string> got = in.get_line();
            if (!got) return fail(line, field, "the file ends before this line \"target = expression\".");
            const std::size_t eq = got->find('=');
            if (eq == std::string::npos)
                return fail(line, field, "expected \"target = expression\", found \"" + trimmed(*got) + "\".");
            e.assignments.push_back(EventAssignment{trimmed(got->substr(0, eq)), trimmed(got->substr(eq + 1)), line});
        }
        events.push_back(std::move(e));
    }
    in.scan("\n");
    return true;
}

// Whether an events section follows: its key next, or, in a model without
// formula reactions, after "parameters =" and "rules =" sections (which such
// a model reads only when events follow them).
bool event_section_follows(const TextScanner& in, bool any_formula) {
    if (next_token_is(in, "events")) return true;
    if (any_formula || !(next_token_is(in, "parameters") || next_token_is(in, "rules"))) return false;
    TextScanner probe(in);
    FormulaSection scratch;
    ListBudget budget{probe.size() / 2};
    read_formula_sections(probe, scratch, budget);
    return next_token_is(probe, "events");
}

// Set s changes initial counts and rate constants of the model as read.
void read_param_set(TextScanner& in, ParamSet& set, int& num_repeats, ListBudget& budget,
                    int set_number, ReadNotes* notes) {
    const std::string where = "parameter set " + std::to_string(set_number);
    scan_field(in, notes, where, "num_repeats = %d\n", {&num_repeats});
    scan_field(in, notes, where, "num_species = %d\n", {&set.num_species});
    if (budget.take(set.num_species, in))
        set.species.assign(static_cast<std::size_t>(set.num_species), {});
    for (Compound& c : set.species)
        scan_field(in, notes, where + ", species change", "%d %d\n", {&c.index, &c.count});
    scan_field(in, notes, where, "num_rates = %d\n", {&set.num_rates});
    if (budget.take(set.num_rates, in)) {
        set.rate_rxn.assign(static_cast<std::size_t>(set.num_rates), 0);
        set.rates.assign(static_cast<std::size_t>(set.num_rates), {});
    }
    for (std::size_t k = 0; k < set.rates.size(); k++)
        scan_field(in, notes, where + ", rate change", "%d %d %le\n",
                   {&set.rate_rxn[k], &set.rates[k].index, &set.rates[k].value});
}

}  // namespace

void read_header(TextScanner& in, ConsoleModel& model, ReadNotes* notes) {
    model.traj_base = model.data_dir + scan_line(in);
    model.summary_path = model.data_dir + scan_line(in);
    model.evlog_base = model.data_dir + scan_line(in);
    in.scan("\n");
    scan_field(in, notes, "header", "num_sets = %d\n", {&model.params.num_sets});
    scan_field(in, notes, "header", "num_rxns = %d\n", {&model.sizes.num_rxns});
    scan_field(in, notes, "header", "num_cmpds = %d\n\n", {&model.sizes.num_cmpds});
}

void allocate_model(ConsoleModel& model) {
    if (model.sizes.num_rxns < 1 || model.sizes.num_cmpds < 1 || model.params.num_sets < 1)
        throw std::invalid_argument("allocate_model: counts must be positive");
    std::size_t rxns = static_cast<std::size_t>(model.sizes.num_rxns);
    std::size_t sets = static_cast<std::size_t>(model.params.num_sets);
    model.reactions.assign(rxns, Reaction{});
    model.species.assign(static_cast<std::size_t>(model.sizes.num_cmpds), Compound{});
    model.sizes.num_subs.assign(rxns, 0);
    model.sizes.num_prods.assign(rxns, 0);
    model.params.num_repeats.assign(sets, 0);
    model.sets.assign(sets, ParamSet{});
}

void read_model_sections(TextScanner& in, std::vector<Reaction>& reactions, ModelSizes& sizes,
                         std::vector<Compound>& species, SimParams& params,
                         std::vector<ParamSet>& sets, ReadNotes* notes,
                         FormulaSection* formulas, std::vector<EventDefinition>* events) {
    std::size_t rxns = reactions.size();
    if (static_cast<std::size_t>(sizes.num_rxns) != rxns || sizes.num_subs.size() != rxns ||
        sizes.num_prods.size() != rxns ||
        static_cast<std::size_t>(sizes.num_cmpds) != species.size() ||
        static_cast<std::size_t>(params.num_sets) != sets.size() ||
        params.num_repeats.size() != sets.size())
        throw std::invalid_argument("read_model_sections: arrays do not match the counts");

    for (int line = 1; line <= kNumHeaderLines; line++) skip_header_line(in, notes, line);
    read_species(in, species, notes);
    ListBudget budget{in.size() / 2};
    if (formulas != nullptr) {
        formulas->rate_lines.assign(rxns, 0);
        formulas->rates.assign(rxns, std::string());
        formulas->set_changes.assign(sets.size(), {});
        formulas->set_change_lines.assign(sets.size(), {});
    }
    bool any_formula = false;
    for (std::size_t i = 0; i < rxns; i++) {
        read_reaction(in, reactions[i], sizes.num_subs[i], sizes.num_prods[i], static_cast<int>(i),
                      budget, notes, formulas);
        any_formula = any_formula || reactions[i].rxn_index == kFormula;
    }
    read_parameters(in, sizes, params, budget, notes);
    // The formula sections, and a set's named changes, exist only in a model
    // with formula reactions: every other file reads exactly as it always has.
    FormulaSection unused;
    FormulaSection& f = formulas != nullptr ? *formulas : unused;
    // Events: a section looked for in every model (no file without one has
    // its key there); it brings the parameter and rule sections with it.
    bool has_events = false;
    if (any_formula) {
        read_formula_sections(in, f, budget);
        has_events = next_token_is(in, "events");
    } else if (event_section_follows(in, any_formula)) {
        has_events = true;
        read_formula_sections(in, f, budget);
    }
    if (has_events) {
        std::vector<EventDefinition> unused_events;
        EventError fault;
        if (!read_event_section(in, events != nullptr ? *events : unused_events, budget, fault) &&
            notes != nullptr && !notes->event_fault.raised())
            notes->event_fault = fault;
        if (fault.raised()) return;  // the rest of the file is not read
    }
    const bool named_changes = any_formula || has_events;
    // Set 1 is the model as read; only the further sets have blocks.
    for (std::size_t s = 1; s < sets.size(); s++) {
        read_param_set(in, sets[s], params.num_repeats[s], budget, static_cast<int>(s) + 1, notes);
        // "parameter name value" lines: changes of named parameters.
        while (named_changes && next_token_is(in, "parameter")) {
            NamedValue change;
            const int line = next_line(in);
            in.scan(" parameter %s %le\n", {&change.name, &change.value});
            if (formulas != nullptr) {
                formulas->set_changes[s].push_back(change);
                formulas->set_change_lines[s].push_back(line);
            }
        }
    }
    // Text after the last block is never read.  Lines there that start with
    // '#' are comments for the person who opens the file (converters note
    // how they scaled the model so); anything else is reported.
    if (notes != nullptr && !in.at_end()) {
        std::size_t at = next_text(in, in.pos());
        while (at < in.size() && in.text()[at] == '#') {
            const std::size_t end = in.text().find('\n', at);
            at = next_text(in, end == std::string::npos ? in.size() : end);
        }
        if (at < in.size() && notes->warnings.size() < kMaxReadWarnings &&
            in.pos() != notes->last_warning_pos && in.line_of(at) != notes->last_warning_line)
            notes->warnings.push_back(ReadWarning{in.line_of(at), "",
                                                  "the end of the file after the last block",
                                                  text_at(in, at)});
    }
}

bool read_constants(std::vector<Reaction>& reactions, ModelSizes& sizes,
                    std::vector<Compound>& species, SimParams& params,
                    std::vector<ParamSet>& sets, const std::string& path, ReadNotes* notes,
                    FormulaSection* formulas, std::vector<EventDefinition>* events) {
    std::string text;
    if (!read_file_text(path, text)) return false;
    TextScanner in(std::move(text));
    read_model_sections(in, reactions, sizes, species, params, sets, notes, formulas, events);
    return true;
}

std::string format_read_warning(const std::string& model_path, const ReadWarning& w) {
    std::string text = "Warning: model file " + model_path + ", line " + std::to_string(w.line);
    if (!w.where.empty()) text += " (" + w.where + ")";
    return text + ": expected " + w.expected + ", found " + w.found + "; skipped.\n";
}

}  // namespace plenta
