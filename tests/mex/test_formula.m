% Formula reactions and assignment rules in tamrin: a Michaelis-Menten
% conversion x0 -> x1 and a decay of x1, with PAR.parameters, a rule
% monitored through MONIT, and the errors of a bad formula.
rxns = {struct('type', 'formula', 'substrates', [0 1], 'products', [1 1], ...
               'formula', 'Vmax*x0/(Km + x0)'), ...
        struct('type', 'formula', 'substrates', [1 1], 'products', zeros(0, 2), ...
               'formula', 'kd*x1')};
counts = [300; 0];
p = tamrin_params('timestep', 4, 'update', 2);
p.parameters = struct('Vmax', 50, 'Km', 100, 'kd', 0.5);
p.rules = struct('total', 'x0 + x1', 'twice', '2*total');

init = run8(rxns, [], counts, p, [0 1 2 3]);
assert(abs(init{2}(1) - 50 * 300 / 400) < 1e-12, 'initial formula propensity');
assert(init{2}(2) == 0, 'decay of nothing');

p.update = 0;
out = run8(rxns, [], counts, p, [0 1 2 3]);
mon = out{7};
assert(isequal(size(mon), [5 4]), 'MON size');
x0 = 300 + mon(2, :);
x1 = 0 + mon(3, :);
assert(isequal(mon(4, :), x0 + x1), 'rule total is the value at each snapshot');
assert(isequal(mon(5, :), 2 * (x0 + x1)), 'a rule through another rule');
assert(out{4}(1) > 0 && -out{1}(1) == out{4}(1), 'conversions change x0 by their count');

% Named parameter changes the law: Vmax 0 converts nothing.
p.parameters.Vmax = 0;
still = run8(rxns, [], counts, p, [0 1]);
assert(all(still{4} == 0), 'Vmax 0 fires nothing');

bad = rxns;
bad{1}.formula = 'Vmax*x0/(Km + y)';
err = expect_error(@() run8(bad, [], counts, p, [0 1]), 'tamrin:badFormula');
assert(~isempty(strfind(err.message, 'reaction 1')) && ~isempty(strfind(err.message, '"y"')), ...
       err.message);
nofield = rxns;
nofield{2} = rmfield(nofield{2}, 'formula');
expect_error(@() run8(nofield, [], counts, p, [0 1]), 'tamrin:missingField');
expect_error(@() run8(rxns, [], counts, p, [0 4]), 'tamrin:badSpecies');
