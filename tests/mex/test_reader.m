% Every reaction type read from a MATLAB structure, observed through its
% propensity (output 2) and, where the columns matter, through its
% stoichiometry (output 1).
rx = @(type, subs, prods, k) struct('type', type, 'substrates', subs, 'products', prods, 'StoP', k);
close_to = @(a, b) abs(a - b) <= 1e-12 * max(1, abs(b));

% Fixed-shape types read one column of positions; the coefficients stay 0.
counts = [10; 3; 7; 4];
assert(propensities({rx('binding', [0; 1], 2, 1)}, counts, 2) == 15, 'binding');
assert(propensities({rx('unique-bi-bi', [0; 1], 2, 1)}, counts, 2) == 15, 'unique-bi-bi');
assert(propensities({rx('unbinding', 2, [0; 1], 0.5)}, counts, 2) == 3.5, 'unbinding');
assert(propensities({rx('uni-uni', 3, 1, 0.5)}, counts, 2) == 2, 'uni-uni');
assert(propensities({rx('uni-multi', 3, [1 2], 0.5)}, counts, 2) == 2, 'uni-multi');
assert(propensities({rx('homo-ltor', [3; 3], 1, 1)}, counts, 1) == 6, 'homo-ltor');
% Extra columns are ignored; positions are truncated toward zero.
assert(propensities({rx('uni-uni', [2.9 5 5], 1, 1)}, counts, 1) == 7, 'position 2.9');
assert(propensities({rx('uni-uni', -0.7, 1, 1)}, counts, 1) == 10, 'position -0.7');
% Single-constant types count their constants by rows, the others by
% columns: either way the first element is k_0.
assert(propensities({rx('uni-uni', 0, 1, [2 9])}, counts, 1) == 20, 'row StoP, one constant');
assert(propensities({rx('uni-uni', 0, 1, [2; 9])}, counts, 1) == 20, 'column StoP');
% A type name in no row of the table reads as "binding", without a message.
lastwarn('');
assert(propensities({rx('Binding', [0; 1], 2, 1)}, counts, 2) == 15, 'unknown type name');
assert(isempty(lastwarn()), 'warning for an unknown type name');

% "transv1": (k_0 / V) x_0 / (1 / x_1); coefficients from column 2.
assert(propensities({rx('transv1', [0 1; 3 1], [2 1], 1)}, counts, 1) == 40, 'transv1');
assert(propensities({rx('transv1', [0 1; 3 5], [2 1], 1)}, counts, 1) == 0, 'transv1, short');

% "genmm": StoP as a row gives one constant per column.
g = rx('genmm', [2 1; 3 1], [0 1], [1 2 3]);
assert(close_to(propensities({g}, counts, 1), 7 * 4 / (4 + 2)), 'genmm');
% As a column it is one constant, too few for two substrates.
g.StoP = [1; 2; 3];
err = expect_error(@() propensities({g}, counts, 1), 'tamrin:tooFewRates');
assert(~isempty(strfind(err.message, 'reaction 1')) && ~isempty(strfind(err.message, 'StoP')), ...
       err.message);

% "n-order": the exponent column is truncated to a whole number, 1.5 -> 1.
n = rx('n-order', [0 2 1.5], [1 1], [3 2]);
assert(propensities({n}, counts, 2) == 3 / 2 * 10, 'n-order exponent not truncated to 1');
n.substrates = [0 2 2.9];
assert(propensities({n}, counts, 2) == 3 / 2 * 100, 'n-order exponent 2.9');
n.StoP = [3 0];  % E = 0: k_0 V whatever the counts
assert(propensities({n}, [0; 0; 0; 0], 2) == 6, 'n-order with E = 0');
% Coefficients of both lists (column 2): 2 A -> 3 B fires once from A = 3.
n = rx('n-order', [0 2 1], [1 3], [1 2]);
assert(isequal(net_change({n}, [3; 0], 100), [-2; 3]), 'n-order stoichiometry');
% "uni-multi" reads product coefficients: A -> 2 B + 3 C.
assert(isequal(net_change({rx('uni-multi', 0, [1 2; 2 3], 1)}, [1; 0; 0], 100), [-1; 2; 3]), ...
       'uni-multi product coefficients');

% "undef": the built-in formula chosen by the position; id 0 reads k_1.
u = struct('type', 'undef', 'substrates', [0 1; 1 1], 'products', [2 1], 'formula', 'k*A*B', ...
           'StoP', [0 1e-16]);
assert(close_to(propensities({u}, counts, 1), 1e-16 * 10 * 3 / 5e-16), 'undef id 0');
% At position 2 (id 1) it reads k_0 and X[2].
u1 = u;
u1.StoP = 4;
ai = propensities({u, rx('uni-uni', 0, 1, 1), u1}, counts, 1);
assert(ai(3) == 4 * 7, 'undef id 2');
% A short substrate gives 0 without consulting the table.
u.substrates = [0 11; 1 1];
assert(propensities({u}, counts, 1) == 0, 'undef with a short substrate');
% A formula longer than its field is cut without a warning.
u.formula = repmat('x', 1, 200);
lastwarn('');
propensities({u}, counts, 1);
assert(isempty(lastwarn()), 'warning for a long formula');

% A type name of 90 characters: the warning, then read as "binding".
long = rx([repmat('a', 1, 90)], [0; 1], 2, 1);
lastwarn('');
ai = propensities({long}, counts, 2);
[msg, id] = lastwarn();
assert(ends_with(msg, 'Not enough space. String is truncated.'), ['no truncation warning: ' msg]);
assert(strcmp(id, 'tamrin:typeTruncated'), id);
assert(ai == 15, 'a truncated type name is not read as binding');
% A known name padded to 90 characters is not recognised either.
long.type = ['uni-uni', repmat(' ', 1, 83)];
lastwarn('');
assert(propensities({long}, counts, 2) == 15, 'padded name');
assert(~isempty(lastwarn()), 'no warning for a padded name');

% Without "products" the reader reads neither "formula" nor "StoP", so the
% reaction has no rate constant: refused with a hint.  With products = []
% (present, empty) its "StoP" is read.
s = struct('type', 'uni-multi', 'substrates', 0, 'StoP', 2);
err = expect_error(@() propensities({s}, counts, 1), 'tamrin:noProducts');
assert(~isempty(strfind(err.message, 'sink')), err.message);
s.products = [];
assert(propensities({s}, counts, 1) == 20, 'present but empty products');
assert(isequal(net_change({s}, [2; 0], 100), [-2; 0]), 'a sink reaction');

% "ai" and "time" are read when present (and handed back by a zero span).
r = rx('uni-uni', 0, 1, 1);
r.ai = 3.5;
r.time = 12;
out = run8({r, rx('uni-uni', 1, 0, 1)}, [], counts, tamrin_params('update', 0, 'timestep', 0), []);
assert(isequal(out{2}, [3.5; 0]) && isequal(out{3}, [12; 0]), 'ai and time');
disp('test_reader: ok');
