% Every refused input raises an error with its identifier, names the
% reaction (counted from 1) and the field, and leaves Octave and the gateway
% working.
[rxns, counts] = dimer_network();
monit = [0 2];
p = tamrin_params();
ref = run8(rxns, [], counts, p, monit);
call = @(r, c, q, m) run8(r, [], c, q, m);
rx = @(type, subs, prods, k) struct('type', type, 'substrates', subs, 'products', prods, 'StoP', k);
with_second = @(r2) {rxns{1}, r2};  % reaction 2 replaced
mentions = @(err, varargin) all(cellfun(@(t) ~isempty(strfind(err.message, t)), varargin));

% Inputs of the wrong class.
expect_error(@() call(rxns{1}, counts, p, monit), 'tamrin:badInput');
expect_error(@() call({rxns{1}, 5}, counts, p, monit), 'tamrin:badInput');
expect_error(@() call(rxns, 'abc', p, monit), 'tamrin:badInput');
expect_error(@() call(rxns, int32(counts), p, monit), 'tamrin:badInput');
expect_error(@() call(rxns, sparse(counts), p, monit), 'tamrin:badInput');
expect_error(@() call(rxns, counts, 3, monit), 'tamrin:badInput');
expect_error(@() call(rxns, counts, p, 'a'), 'tamrin:badInput');
expect_error(@() call(rxns, zeros(3, 0), p, monit), 'tamrin:badInput');
expect_error(@() call(rxns, counts, p, zeros(0, 2)), 'tamrin:badInput');

% Missing reaction fields.
r = rmfield(rxns{2}, 'type');
err = expect_error(@() call(with_second(r), counts, p, monit), 'tamrin:missingField');
assert(mentions(err, 'reaction 2', '"type"'), err.message);
r = rmfield(rxns{2}, 'substrates');
err = expect_error(@() call(with_second(r), counts, p, monit), 'tamrin:missingField');
assert(mentions(err, 'reaction 2', '"substrates"'), err.message);
u = struct('type', 'undef', 'substrates', [0 1], 'products', [2 1], 'StoP', [1 1]);
err = expect_error(@() call(with_second(u), counts, p, monit), 'tamrin:missingField');
assert(mentions(err, 'reaction 2', '"formula"'), err.message);

% Fields of the wrong class or with too few columns for the type.
err = expect_error(@() call(with_second(rx('unbinding', 'AB', [0; 1], 1)), counts, p, monit), ...
                   'tamrin:badField');
assert(mentions(err, 'reaction 2', '"substrates"'), err.message);
r = rxns{2};
r.products = {0, 1};  % (struct() would make a structure array of a cell)
expect_error(@() call(with_second(r), counts, p, monit), 'tamrin:badField');
expect_error(@() call(with_second(rx('unbinding', 2, [0; 1], 'k')), counts, p, monit), 'tamrin:badField');
err = expect_error(@() call(with_second(rx('transv1', [0; 1], [2 1], 1)), counts, p, monit), ...
                   'tamrin:badField');
assert(mentions(err, 'reaction 2', '"substrates"', '2 column'), err.message);
expect_error(@() call(with_second(rx('n-order', [0 1; 1 1], [2 1], [1 2])), counts, p, monit), ...
             'tamrin:badField');
expect_error(@() call(with_second(rx('uni-multi', 2, [0; 1], 1)), counts, p, monit), 'tamrin:badField');
expect_error(@() call(with_second(rx('transv1', [0 NaN; 1 1], [2 1], 1)), counts, p, monit), ...
             'tamrin:badField');
r = rxns{2};
r.ai = 'x';
err = expect_error(@() call(with_second(r), counts, p, monit), 'tamrin:badField');
assert(mentions(err, 'reaction 2', '"ai"'), err.message);
r = rxns{2};
r.time = [];
expect_error(@() call(with_second(r), counts, p, monit), 'tamrin:badField');

% Species positions outside 0 .. num_cmpds - 1, in reactions and input 5.
err = expect_error(@() call(with_second(rx('unbinding', 3, [0; 1], 1)), counts, p, monit), ...
                   'tamrin:badSpecies');
assert(mentions(err, 'reaction 2', '"substrates"'), err.message);
err = expect_error(@() call(with_second(rx('unbinding', 2, [0; -1], 1)), counts, p, monit), ...
                   'tamrin:badSpecies');
assert(mentions(err, 'reaction 2', '"products"'), err.message);
expect_error(@() call(with_second(rx('unbinding', NaN, [0; 1], 1)), counts, p, monit), 'tamrin:badSpecies');
expect_error(@() call(rxns, counts, p, [0 3]), 'tamrin:badSpecies');
expect_error(@() call(rxns, counts, p, [-1 0]), 'tamrin:badSpecies');
% An "undef" formula that reads a species the model does not have (id 1
% reads position 2 of the species, which a two-species model lacks).
u = struct('type', 'undef', 'substrates', [0 1], 'products', [1 1], 'formula', 'k*C', 'StoP', 1);
err = expect_error(@() call({rx('uni-uni', 0, 1, 1), u}, [5; 5], p, []), 'tamrin:badSpecies');
assert(mentions(err, 'reaction 2', 'undef'), err.message);

% Too few substrates or products for a fixed-shape type.
for bad = {rx('binding', 0, 2, 1), rx('binding', [0; 1], [], 1), rx('homo-ltor', 0, 2, 1), ...
           rx('unique-bi-bi', 0, 2, 1), rx('unbinding', 2, 0, 1), rx('unbinding', [], [0; 1], 1), ...
           rx('uni-uni', 0, [], 1), rx('uni-uni', [], 1, 1), rx('uni-multi', [], [1 1], 1), ...
           rx('genmm', zeros(0, 2), [1 1], 1), rx('transv1', zeros(0, 2), [1 1], 1)}
  err = expect_error(@() call(with_second(bad{1}), counts, p, monit), 'tamrin:badShape');
  assert(mentions(err, 'reaction 2', bad{1}.type), err.message);
end

% Too few rate constants for what the type's propensity reads.
for bad = {rx('unbinding', 2, [0; 1], []), rx('uni-uni', 0, 1, zeros(1, 0)), ...
           rx('n-order', [0 1 1], [1 1], 2), rx('genmm', [0 1; 1 1], [2 1], [1; 2]), ...
           struct('type', 'undef', 'substrates', [0 1], 'products', [1 1], 'formula', 'f', 'StoP', 1)}
  r = bad{1};
  rs = {r, rxns{2}};  % at position 1, so an "undef" has id 0 (reads k_1)
  err = expect_error(@() call(rs, counts, p, monit), 'tamrin:tooFewRates');
  assert(mentions(err, 'reaction 1', '"StoP"'), err.message);
end
r = rmfield(rxns{2}, 'StoP');
expect_error(@() call(with_second(r), counts, p, monit), 'tamrin:tooFewRates');
r = rmfield(rxns{2}, 'products');
r.type = 'uni-multi';
err = expect_error(@() call(with_second(r), counts, p, monit), 'tamrin:noProducts');
assert(mentions(err, 'reaction 2', '"products"'), err.message);

% The parameter structure: every field is required ("tau_error" only for
% tau-leaping).
fields = fieldnames(p);
for k = 1:numel(fields)
  err = expect_error(@() call(rxns, counts, rmfield(p, fields{k}), monit), 'tamrin:missingParameter');
  assert(mentions(err, ['"' fields{k} '"']), err.message);
end
call(rxns, counts, p, monit);  % no "tau_error" needed for the direct method
err = expect_error(@() call(rxns, counts, tamrin_params('stoch_algor', 3), monit), ...
                   'tamrin:missingParameter');
assert(mentions(err, '"tau_error"'), err.message);
call(rxns, counts, tamrin_params('stoch_algor', 3, 'tau_error', 0.03), monit);
for bad = {{'snapshot_interval', 0}, {'snapshot_interval', -1}, {'snapshot_interval', NaN}, ...
           {'snapshot_interval', Inf}, {'eventlog_arraysize', -5}, {'eventlog_arraysize', NaN}, ...
           {'eventlog_arraysize', 2^31}, {'timestep', -1}, {'timestep', NaN}, {'timestep', Inf}, ...
           {'stoch_algor', NaN}, {'evlog_flag', 1e10}, {'volume', 'big'}, {'update', []}, ...
           {'timestep', 1e12, 'snapshot_interval', 1e-3}}
  expect_error(@() call(rxns, counts, tamrin_params(bad{1}{:}), monit), 'tamrin:badParameter');
end

% Initial counts that are not numbers of molecules.
for bad = {[300; -2; 0], [300; NaN; 0], [300; 2^31; 0], [300; Inf; 0]}
  err = expect_error(@() call(rxns, bad{1}, p, monit), 'tamrin:badCount');
  assert(mentions(err, 'row 2'), err.message);
end
call(rxns, [300; 200.7; -0.5], p, monit);  % truncated toward zero: 200 and 0

% Kept state from another network: the next event names reaction 2, which a
% one-reaction network does not have.
sink = rx('uni-uni', 0, 1, 0);  % propensity 0: never the next reaction
src = rx('uni-uni', 1, 0, 1);
init = call({sink, src}, [5; 5], p, []);
q = tamrin_params('update', 0);
expect_error(@() call(pass_back({sink}, init{2}, init{3}), [5; 5], q, []), 'tamrin:staleState');
expect_error(@() call({}, zeros(0, 1), q, []), 'tamrin:staleState');

% A time too large for the interval to advance it ends with an error, not
% an endless loop.
init = call(rxns, counts, p, monit);
q = tamrin_params('update', 0, 'start_time', 1e17, 'timestep', 10);
expect_error(@() call(pass_back(rxns, init{2}, init{3}), counts, q, monit), 'tamrin:noProgress');

% A "type" that is not text: no type name to read (it was read as "binding").
err = expect_error(@() call(with_second(rx(3, 2, [0; 1], 1)), counts, p, monit), 'tamrin:badField');
assert(mentions(err, 'reaction 2', '"type"'), err.message);

% Counts as a row vector are the same list; a matrix is refused.  Monitored
% species as a column vector are the same list; a matrix is refused.
assert(isequal(call(rxns, counts', p, monit), ref), 'counts as a row vector');
err = expect_error(@() call(rxns, [counts counts], p, monit), 'tamrin:badInput');
assert(mentions(err, 'input 3', '3-by-2'), err.message);
assert(isequal(call(rxns, counts, p, monit'), ref), 'monitored species as a column vector');
expect_error(@() call(rxns, counts, p, [0 1; 1 2]), 'tamrin:badInput');

% Structure arrays: only one element would be read.
err = expect_error(@() call(rxns, counts, [p p], monit), 'tamrin:badInput');
assert(mentions(err, 'input 4', '2 elements'), err.message);
err = expect_error(@() call({[rxns{1} rxns{1}], rxns{2}}, counts, p, monit), 'tamrin:badInput');
assert(mentions(err, 'cell 1', '2 elements'), err.message);

% Values no run can start from, refused before anything is drawn, naming the
% reaction or the field.
err = expect_error(@() call(with_second(rx('unbinding', 2, [0; 1], -1)), counts, p, monit), ...
                   'tamrin:badValue');
assert(mentions(err, 'reaction 2', 'rate constant'), err.message);
for bad = {NaN, Inf, 1e309}
  expect_error(@() call(with_second(rx('unbinding', 2, [0; 1], bad{1})), counts, p, monit), ...
               'tamrin:badValue');
end
for v = {0, -1, NaN, Inf}
  err = expect_error(@() call(rxns, counts, tamrin_params('volume', v{1}), monit), 'tamrin:badValue');
  assert(mentions(err, 'volume'), err.message);
end
for v = {0, -0.1, NaN, Inf}
  err = expect_error(@() call(rxns, counts, tamrin_params('stoch_algor', 3, 'tau_error', v{1}), ...
                              monit), 'tamrin:badValue');
  assert(mentions(err, 'tau_error'), err.message);
end
for v = {NaN, Inf, -Inf}
  err = expect_error(@() call(rxns, counts, tamrin_params('start_time', v{1}), monit), ...
                     'tamrin:badParameter');
  assert(mentions(err, '"start_time"'), err.message);
end
% An "undef" constant may be negative, but not a propensity: the built-in
% formula of id 0 is a bimolecular law in k_1, here negative.  Refused before a draw, and a
% simulating call refuses it too instead of running time backwards.
u = struct('type', 'undef', 'substrates', [0 1], 'products', [1 1], 'formula', 'f', 'StoP', [1 -1]);
err = expect_error(@() call({u}, [5; 5], p, []), 'tamrin:runFault');
assert(mentions(err, 'reaction 1', 'propensity -'), err.message);
err = expect_error(@() call({u}, [5; 5], tamrin_params('update', 0), []), 'tamrin:runFault');
assert(mentions(err, 'reaction 1', 'propensity -'), err.message);
q = tamrin_params('update', 0, 'stoch_algor', 3, 'tau_error', 0.03);
err = expect_error(@() call({u}, [5; 5], q, []), 'tamrin:runFault');
assert(mentions(err, 'reaction 1', 'propensity -'), err.message);
% ... and so is a propensity handed in that is negative.
r = rxns{2};
r.ai = -3;
err = expect_error(@() call(with_second(r), counts, q, monit), 'tamrin:runFault');
assert(mentions(err, 'reaction 2', 'propensity -3'), err.message);

% After all of these the gateway works as before.
assert(isequal(call(rxns, counts, p, monit), ref), 'the gateway changed after refused inputs');
disp('test_validation: ok');
