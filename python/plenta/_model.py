"""Networks built from Python values: species, reactions and parameters in
the shapes a user writes them, normalised into the lists the compiled core
takes (species positions, coefficients, exponents, named rate constants)."""

import numbers

from . import _plenta

# The reaction types, in the order of the type table.
REACTION_TYPES = (
    "binding", "unique-bi-bi", "unbinding", "uni-uni", "uni-multi",
    "homo-ltor", "transv1", "genmm", "n-order", "undef", "mass-action", "formula",
)

# Names accepted for the algorithm codes; any other code than 2 and 3 means
# first-reaction selection.
ALGORITHMS = {"direct": 2, "tau-leaping": 3, "tau": 3, "first-reaction": 1}

_INT32_MIN, _INT32_MAX = -2**31, 2**31 - 1


def _int32(value, what):
    if isinstance(value, bool) or not isinstance(value, numbers.Integral):
        raise ValueError(f"{what} must be an integer, not {value!r}")
    value = int(value)
    if not _INT32_MIN <= value <= _INT32_MAX:
        raise ValueError(f"{what} = {value} does not fit a 32-bit count")
    return value


def _species_list(species):
    """(name, count) pairs from a dict name -> count or a sequence of pairs."""
    items = species.items() if hasattr(species, "items") else species
    out = []
    for k, item in enumerate(items):
        try:
            name, count = item
        except (TypeError, ValueError):
            raise ValueError(f"species {k}: give (name, count), not {item!r}") from None
        if not isinstance(name, str):
            raise ValueError(f"species {k}: the name must be a string, not {name!r}")
        out.append((name, _int32(count, f"species {k} ({name}) count")))
    return out


class _SpeciesIndex:
    """Resolves a species given by name or by position."""

    def __init__(self, names):
        self.names = names
        self.by_name = {}
        for k, n in enumerate(names):
            self.by_name.setdefault(n, k)

    def __call__(self, ref, where):
        if isinstance(ref, str):
            if ref not in self.by_name:
                raise ValueError(f"{where}: no species named {ref!r}")
            return self.by_name[ref]
        # Positions are checked against the model by the validation.
        return _int32(ref, where)


def _entry(item, width, where):
    """A list entry as a tuple of `width` values: a bare species means
    coefficient 1 (and exponent 1.0)."""
    if isinstance(item, (str, numbers.Integral)) and not isinstance(item, bool):
        item = (item,)
    try:
        item = tuple(item)
    except TypeError:
        raise ValueError(f"{where}: give a species or a tuple, not {item!r}") from None
    if not 1 <= len(item) <= width:
        raise ValueError(f"{where}: at most {width} values, got {item!r}")
    defaults = (None, 1, 1.0)
    return item + defaults[len(item):width]


def _reaction(k, entry, species_index):
    where = f"reaction {k}"
    if not hasattr(entry, "get"):
        raise ValueError(f"{where}: give a dict with 'type', 'substrates', 'products', "
                         f"'rates' and 'id', not {entry!r}")
    unknown = set(entry) - {"type", "substrates", "products", "rates", "id", "formula", "name",
                            "rate"}
    if unknown:
        raise ValueError(f"{where}: unknown keys {sorted(unknown)}")
    rtype = entry.get("type")
    # A model file silently reads an unknown type name as "binding"; a name
    # given here is checked, since a typo would otherwise run another network.
    if rtype not in REACTION_TYPES:
        raise ValueError(f"{where}: type {rtype!r} is not one of {', '.join(REACTION_TYPES)}")
    rid = _int32(entry.get("id", k), f"{where} id")
    subs = []
    for j, item in enumerate(entry.get("substrates", ())):
        s, coef, order = _entry(item, 3, f"{where} substrate {j}")
        subs.append((species_index(s, f"{where} substrate {j}"),
                     _int32(coef, f"{where} substrate {j} coefficient"), float(order)))
    prods = []
    for j, item in enumerate(entry.get("products", ())):
        s, coef = _entry(item, 2, f"{where} product {j}")
        prods.append((species_index(s, f"{where} product {j}"),
                      _int32(coef, f"{where} product {j} coefficient")))
    rates_in = entry.get("rates", ())
    if isinstance(rates_in, numbers.Real):
        rates_in = (rates_in,)
    if hasattr(rates_in, "items"):
        rates_in = rates_in.items()
    rates = []
    for j, item in enumerate(rates_in):
        if isinstance(item, numbers.Real):
            rates.append(("", float(item)))
        else:
            name, value = item
            rates.append((str(name), float(value)))
    if rtype == "formula":
        # The propensity as text; its parameters are the model's.
        rate = entry.get("rate", entry.get("formula"))
        if not isinstance(rate, str):
            raise ValueError(f"{where}: a \"formula\" reaction needs \"rate\": the propensity "
                             f"as a string, e.g. \"Vmax*S/(Km + S)\"")
        return (rtype, rid, subs, prods, [], rate)
    return (rtype, rid, subs, prods, rates, str(entry.get("formula", "")))


def _named(values, what):
    """(name, value) pairs from a dict or a sequence of pairs."""
    items = values.items() if hasattr(values, "items") else values
    out = []
    for k, item in enumerate(items):
        try:
            name, value = item
        except (TypeError, ValueError):
            raise ValueError(f"{what} {k}: give (name, value), not {item!r}") from None
        if not isinstance(name, str):
            raise ValueError(f"{what} {k}: the name must be a string, not {name!r}")
        out.append((name, value))
    return out


# The keys of an event dict; "trigger" and "assign" are required.
EVENT_KEYS = ("name", "trigger", "assign", "priority", "delay", "values", "initial",
              "persistent")


def _event_where(k, entry):
    name = entry.get("name") if hasattr(entry, "get") else None
    return f"event {k + 1}" + (f" ({name})" if isinstance(name, str) and name else "")


def _expression_text(value, where):
    """An expression as the model file writes it: a string, or a number."""
    if isinstance(value, str):
        return value
    if isinstance(value, numbers.Real) and not isinstance(value, bool):
        return repr(float(value))
    raise ValueError(f"{where}: give an expression as a string (or a number), not {value!r}")


def _flag(value, where):
    if isinstance(value, str) and value in ("true", "false"):
        return value == "true"
    if isinstance(value, bool) or (isinstance(value, numbers.Integral) and value in (0, 1)):
        return bool(value)
    raise ValueError(f"{where}: give True or False, not {value!r}")


def _event(k, entry):
    """One event dict as the tuple the core takes: (name, trigger, priority,
    delay, values at trigger time, initial, persistent, [(target, expr)])."""
    where = f"event {k + 1}"
    if not hasattr(entry, "get"):
        raise ValueError(f"{where}: give a dict with 'trigger' and 'assign', not {entry!r}")
    where = _event_where(k, entry)
    unknown = set(entry) - set(EVENT_KEYS)
    if unknown:
        raise ValueError(f"{where}: unknown keys {sorted(map(str, unknown))} "
                         f"(an event takes {', '.join(EVENT_KEYS)})")
    name = entry.get("name", "")
    if not isinstance(name, str):
        raise ValueError(f"{where}, name: give a string, not {name!r}")
    if "\n" in name or len(name) > 78:
        raise ValueError(f"{where}, name: at most 78 characters on one line")
    trigger = entry.get("trigger")
    if not isinstance(trigger, str) or not trigger.strip():
        raise ValueError(f"{where}, trigger: give \"at T\", \"at T every P\" or "
                         f"\"when <condition>\" as a string, not {trigger!r}")
    priority = delay = ""
    if entry.get("priority") is not None:
        priority = _expression_text(entry["priority"], f"{where}, priority")
    if entry.get("delay") is not None:
        delay = _expression_text(entry["delay"], f"{where}, delay")
    values = entry.get("values", "fire")
    if values not in ("trigger", "fire"):
        raise ValueError(f"{where}, values: give \"trigger\" or \"fire\", not {values!r}")
    initial = _flag(entry.get("initial", True), f"{where}, initial")
    persistent = _flag(entry.get("persistent", True), f"{where}, persistent")
    assign = entry.get("assign")
    if assign is None:
        raise ValueError(f"{where}, assign: an event needs assignments, e.g. "
                         f"{{\"I\": \"I + 1000\"}}")
    if isinstance(assign, str):
        assign = [assign]
    items = assign.items() if hasattr(assign, "items") else assign
    assignments = []
    for j, item in enumerate(items):
        at = f"{where}, assignment {j + 1}"
        if isinstance(item, str):
            # "target = expression", as a model file writes it.
            target, eq, text = item.partition("=")
            if not eq:
                raise ValueError(f"{at}: give \"target = expression\", not {item!r}")
            target = target.strip()
        else:
            try:
                target, text = item
            except (TypeError, ValueError):
                raise ValueError(f"{at}: give (target, expression), not {item!r}") from None
            if not isinstance(target, str):
                raise ValueError(f"{at}: the target must be a name, not {target!r}")
        assignments.append((target, _expression_text(text, at)))
    if not assignments:
        raise ValueError(f"{where}, assign: an event needs at least one assignment")
    return (name, trigger, priority, delay, values == "trigger", initial, persistent,
            assignments)


def build_core_model(species, reactions, volume, algorithm, tau_error, monit,
                     parameters=None, rules=None, events=None):
    """The compiled model for Model(...); raises ValueError."""
    parameters = [(n, float(v)) for n, v in _named(parameters or {}, "parameter")]
    rules = [(n, str(v)) for n, v in _named(rules or {}, "rule")]
    if events is None:
        events = []
    if isinstance(events, (dict, str)):
        raise ValueError("events must be a sequence of dicts")
    events = [_event(k, e) for k, e in enumerate(events)]
    species = _species_list(species)
    index = _SpeciesIndex([n for n, _ in species])
    if isinstance(reactions, dict):
        raise ValueError("reactions must be a sequence of dicts")
    normalised = [_reaction(k, r, index) for k, r in enumerate(reactions)]
    if isinstance(algorithm, str):
        if algorithm not in ALGORITHMS:
            raise ValueError(f"algorithm {algorithm!r} is not one of {', '.join(ALGORITHMS)}")
        algorithm = ALGORITHMS[algorithm]
    algorithm = _int32(algorithm, "algorithm")
    if algorithm == 3:
        if tau_error is None:
            raise ValueError("tau-leaping (algorithm 3) needs tau_error")
        tau_error = float(tau_error)
    else:
        tau_error = 0.0
    if monit is None:
        monit = range(len(species))
    # A rule is monitored by its name, at the positions after the species.
    rule_position = {name: len(species) + r for r, (name, _) in enumerate(rules)}
    monit = [rule_position[s] if isinstance(s, str) and s not in index.by_name
             and s in rule_position else index(s, f"monitored species {k}")
             for k, s in enumerate(monit)]
    if events:
        return _plenta._build_model(species, normalised, float(volume), algorithm, tau_error,
                                    monit, parameters, rules, events)
    if parameters or rules:
        return _plenta._build_model(species, normalised, float(volume), algorithm, tau_error,
                                    monit, parameters, rules)
    return _plenta._build_model(species, normalised, float(volume), algorithm, tau_error, monit)
