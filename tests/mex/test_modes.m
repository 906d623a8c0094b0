% The four modes of "update", the state kept between calls and the outputs of
% the non-simulating modes.
[rxns, counts] = dimer_network();
monit = [0 1 2];
p = tamrin_params('timestep', 10);

% Initialise: propensities at the given counts, nothing else filled.
init = run8(rxns, [], counts, p, monit);
assert(isequal(init{2}, [0.01 * 300 * 200; 0]), 'initial propensities');
for k = [1 4 5 6 7 8]
  assert(all(init{k}(:) == 0), sprintf('output %d not zero after initialise', k));
end
assert(isequal(size(init{7}), [4 10]) && isequal(size(init{8}), [3 10]), 'sizes after initialise');
% The same seed gives the same outputs.
assert(isequal(run8(rxns, [], counts, p, monit), init), 'same seed, different outputs');

% Simulate over three calls, passing counts, propensities and times back in,
% and compare with the same span simulated in one call.
[whole, r_end, c_end] = simulate_span(pass_back(rxns, init{2}, init{3}), counts, p, monit, 0, 9);
run8(rxns, [], counts, p, monit);
r = pass_back(rxns, init{2}, init{3});
c = counts;
cols7 = [];
cols8 = [];
for span = [0 4; 4 3; 7 2]'
  [part, r, c] = simulate_span(r, c, p, monit, span(1), span(2));
  base = c - part{1};  % counts at the start of this call
  cols7 = [cols7, [part{7}(1, :); part{7}(2:end, :) + base(monit + 1)]];
  cols8 = [cols8, part{8}];
end
assert(isequal(c, c_end), 'split simulation ended in other counts');
assert(isequal(cols7(2:end, :) - counts(monit + 1), whole{7}(2:end, :)), 'split trajectory differs');
assert(isequal(cols7(1, :), whole{7}(1, :)), 'split snapshot times differ');
assert(isequal(cols8, whole{8}), 'split firing counts differ');
assert(any(whole{4} > 0), 'nothing fired');
assert(isequal(c_end(1) + c_end(3), 300) && isequal(c_end(2) + c_end(3), 200), 'mass not conserved');

% Recompute (update 1) leaves the kept state unchanged: initialise,
% recompute, simulate gives what initialise, simulate gives.  The direct
% method draws nothing in a recompute, so the stream is unchanged too.
p.update = 2;
run8(rxns, [], counts, p, monit);
p.update = 1;
rec = run8(pass_back(rxns, [7; 7], [0; 0]), [], counts, p, monit);
assert(isequal(rec{2}, init{2}), 'recompute: propensities');
for k = [1 4 5 6 7 8]
  assert(all(rec{k}(:) == 0), sprintf('output %d not zero after recompute', k));
end
after_recompute = simulate_span(pass_back(rxns, rec{2}, rec{3}), counts, p, monit, 0, 9);
assert(isequal(after_recompute, whole), 'recompute changed the kept state');

% Recompute and draw (any other value, also 0.5 and NaN) draws a new next
% event without seeding: the continuation differs from the initialised one
% but is reproducible.
draws = {};
for u = [0.5, NaN, 1.0000001, -3]
  p.update = 2;
  run8(rxns, [], counts, p, monit);
  p.update = u;
  d = run8(rxns, [], counts, p, monit);
  assert(isequal(d{2}, init{2}), 'recompute and draw: propensities');
  for k = [1 4 5 6 7 8]
    assert(all(d{k}(:) == 0), sprintf('output %d not zero after recompute and draw', k));
  end
  draws{end + 1} = simulate_span(pass_back(rxns, d{2}, d{3}), counts, p, monit, 0, 9);
end
assert(~isequal(draws{1}, whole), 'recompute and draw did not redraw the next event');
for k = 2:numel(draws)
  assert(isequal(draws{k}, draws{1}), 'update values other than 0, 1, 2 differ');
end

% Under first-reaction selection the tentative times come out in output 3:
% finite for a reaction that can fire, the largest double for one that cannot.
p = tamrin_params('stoch_algor', 1);
fr = run8(rxns, [], counts, p, monit);
assert(fr{3}(1) > 0 && isfinite(fr{3}(1)), 'tentative time of a reaction that can fire');
assert(fr{3}(2) == realmax, 'tentative time of a reaction that cannot fire');
disp('test_modes: ok');
