"""BioNetGen .net networks read into the entries of plenta.Model: parameter
and count expressions evaluated over the parameters above them (numbers,
+ - * / ^, parentheses, exp, ln, log10, sqrt, abs), one "mass-action"
reaction per line with the reactant multiplicities of its reactant list."""

import ast
import math
import operator

_FUNCTIONS = {"exp": math.exp, "ln": math.log, "log10": math.log10, "sqrt": math.sqrt,
              "abs": abs}
_BINARY = {ast.Add: operator.add, ast.Sub: operator.sub, ast.Mult: operator.mul,
           ast.Div: operator.truediv, ast.Pow: operator.pow}


def _evaluate(text, names, where):
    def value(node):
        if isinstance(node, ast.Expression):
            return value(node.body)
        if isinstance(node, ast.Constant) and isinstance(node.value, (int, float)):
            return float(node.value)
        if isinstance(node, ast.Name):
            if node.id not in names:
                raise ValueError(f"{where}: '{node.id}' is not a parameter above this line")
            return names[node.id]
        if isinstance(node, ast.BinOp) and type(node.op) in _BINARY:
            return _BINARY[type(node.op)](value(node.left), value(node.right))
        if isinstance(node, ast.UnaryOp) and isinstance(node.op, (ast.USub, ast.UAdd)):
            v = value(node.operand)
            return -v if isinstance(node.op, ast.USub) else v
        if (isinstance(node, ast.Call) and isinstance(node.func, ast.Name)
                and node.func.id in _FUNCTIONS and len(node.args) == 1 and not node.keywords):
            return float(_FUNCTIONS[node.func.id](value(node.args[0])))
        raise ValueError(f"{where}: '{text}' is not a constant expression plenta can read")

    try:
        tree = ast.parse(text.replace("^", "**"), mode="eval")
        v = value(tree)
    except (SyntaxError, ZeroDivisionError, OverflowError, ValueError) as e:
        if isinstance(e, ValueError) and str(e).startswith(where):
            raise
        raise ValueError(f"{where}: '{text}' is not a constant expression plenta can read") from None
    if not math.isfinite(v):
        raise ValueError(f"{where}: '{text}' is not finite")
    return v


def _species_list(text, n, where):
    if text == "0":
        return []
    out = []
    for item in text.split(","):
        if not item.isdigit() or not 1 <= int(item) <= n:
            raise ValueError(f"{where}: '{item}' is not one of the {n} species")
        out.append(int(item) - 1)
    return out


def _tally(positions):
    counts = {}
    for s in positions:
        counts[s] = counts.get(s, 0) + 1
    return list(counts.items())


def read_net(path):
    """(species, reactions, monitored, observables) of the file at path."""
    try:
        with open(path, encoding="utf-8") as f:
            lines = f.read().splitlines()
    except OSError as e:
        raise ValueError(f"{path}: cannot be read ({e.strerror})") from None
    names, species, reactions, groups = {}, [], [], []
    rates = {}  # rate expression -> value: the same few laws recur on thousands of lines
    block = None
    for number, raw in enumerate(lines, 1):
        where = f"{path}:{number}"
        line = raw.split("#", 1)[0]
        tok = line.split()
        if not tok:
            continue
        if tok[0] in ("begin", "end"):
            if len(tok) != 2:
                raise ValueError(f"{where}: '{line.strip()}' is not a block line")
            if tok[1] == "model":
                continue
            if tok[0] == "end":
                block = None
            elif tok[1] in ("parameters", "species", "reactions", "groups"):
                block = tok[1]
            else:
                raise ValueError(f"{where}: block '{tok[1]}' is not one a network can be "
                                 "converted from (parameters, species, reactions, groups)")
            continue
        if block == "parameters":
            if len(tok) < 3:
                raise ValueError(f"{where}: a parameter line needs an index, a name and a value")
            names[tok[1]] = _evaluate("".join(tok[2:]), names, where)
        elif block == "species":
            if len(tok) != 3:
                raise ValueError(f"{where}: a species line needs an index, a pattern and a count")
            if tok[1].startswith("$"):
                raise ValueError(f"{where}: species {tok[1]} has a fixed count, which plenta "
                                 "cannot hold")
            c = _evaluate(tok[2], names, where)
            if not (0 <= c <= 2**31 - 1 and c == math.floor(c)):
                raise ValueError(f"{where}: initial count {tok[2]} = {c} is not a whole number "
                                 "from 0 to 2147483647")
            name = tok[1] if len(tok[1]) <= 83 else f"S{len(species) + 1}"
            species.append((name, int(c)))
        elif block == "reactions":
            if len(tok) != 4:
                raise ValueError(f"{where}: a reaction line needs an index, reactants, products "
                                 "and one rate expression")
            n = len(species)
            subs = _tally(_species_list(tok[1], n, where))
            prods = _tally(_species_list(tok[2], n, where))
            rate = names.get(tok[3])
            if rate is None:
                rate = rates.get(tok[3])
            if rate is None:
                rate = rates[tok[3]] = _evaluate(tok[3], names, where)
            if rate < 0:
                raise ValueError(f"{where}: the rate law '{tok[3]}' is negative")
            reactions.append({"type": "mass-action", "substrates": subs, "products": prods,
                              "rates": [rate], "id": len(reactions)})
        elif block == "groups":
            if len(tok) not in (2, 3):
                raise ValueError(f"{where}: a group line needs an index, a name and species")
            terms = []
            for item in (tok[2].split(",") if len(tok) == 3 else []):
                weight, _, s = item.rpartition("*")
                try:
                    w = float(weight) if weight else 1.0
                except ValueError:
                    raise ValueError(f"{where}: group weight '{weight}' is not a number") from None
                terms.append((_species_list(s, len(species), where)[0], w))
            groups.append((tok[1], terms))
        else:
            raise ValueError(f"{where}: '{line.strip()}' stands outside every block")
    if not species or not reactions:
        raise ValueError(f"{path}: the network has no species or no reactions")
    read = sorted({s for _, terms in groups for s, _ in terms})
    monitored = read if read else list(range(len(species)))
    column = {s: k for k, s in enumerate(monitored)}
    observables = {name: [(column[s], w) for s, w in terms] for name, terms in groups}
    return species, reactions, monitored, observables
