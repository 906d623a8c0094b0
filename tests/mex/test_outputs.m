% Sizes and contents of the result matrices of a simulating call.
[rxns, counts] = dimer_network();
monit = [2 0];
p = tamrin_params();
init = run8(rxns, [], counts, p, monit);
start = pass_back(rxns, init{2}, init{3});

% "timestep" 10 with "snapshot_interval" 1: ten columns at times 1..10.
out = simulate_span(start, counts, p, monit, 0, 10);
assert(isequal(size(out{1}), [3 1]) && isequal(size(out{2}), [2 1]), 'sizes of outputs 1, 2');
assert(isequal(size(out{3}), [2 1]) && isequal(size(out{4}), [2 1]), 'sizes of outputs 3, 4');
assert(isequal(size(out{5}), [100 1]) && isequal(size(out{6}), [100 1]), 'sizes of outputs 5, 6');
assert(isequal(size(out{7}), [3 10]) && isequal(size(out{8}), [3 10]), 'sizes of outputs 7, 8');
assert(isequal(out{7}(1, :), 1:10) && isequal(out{8}(1, :), 1:10), 'snapshot times');
% Every firing is in exactly one column of output 8.
assert(isequal(sum(out{8}(2:end, :), 2), out{4}), 'output 8 rows do not sum to output 4');
% The last column of output 7 is the net change of output 1.
assert(isequal(out{7}(2:end, end), out{1}(monit + 1)), 'last snapshot differs from output 1');
% Net changes follow the stoichiometry: A and B lose what AB gains.
fired = out{4};
assert(isequal(out{1}, [-1; -1; 1] * (fired(1) - fired(2))), 'net change and firings disagree');

% "timestep" 0.5: one column, at the next multiple of the interval.
out = simulate_span(start, counts, p, monit, 0, 0.5);
assert(isequal(size(out{7}), [3 1]) && isequal(size(out{8}), [3 1]), 'one column for 0.5');
assert(out{7}(1) == 1 && out{8}(1) == 1, 'column time for a span of 0.5');
out = simulate_span(start, counts, p, monit, 3.2, 0.5);
assert(out{7}(1) == 4, 'column time for a span starting at 3.2');

% An empty input 5: output 7 holds only the times.
out = simulate_span(start, counts, p, [], 0, 3);
assert(isequal(out{7}, [1 2 3]), 'output 7 with no monitored species');

% More snapshots than columns ("timestep" 2.5 from 0 needs 3): the last is
% dropped with one warning, the simulation itself runs to time 3.
lastwarn('');
out = simulate_span(start, counts, p, monit, 0, 2.5);
[msg, id] = lastwarn();
assert(strcmp(id, 'tamrin:tooManySnapshots'), ['no column warning: ' id]);
assert(isequal(out{7}(1, :), [1 2]), 'columns of a 2.5 span');
full = simulate_span(start, counts, p, monit, 0, 3);
assert(isequal(out{1}, full{1}) && isequal(out{4}, full{4}), 'a dropped column changed the run');
assert(isequal(out{8}, full{8}(:, 1:2)), 'columns before the dropped one differ');

% A span that starts on a boundary of a non-unit interval.
p2 = tamrin_params('snapshot_interval', 0.25);
out = simulate_span(start, counts, p2, monit, 0, 1);
assert(isequal(out{7}(1, :), [0.25 0.5 0.75 1]), 'quarter-interval snapshot times');

% A zero span runs nothing and hands the propensities and times back unchanged.
r = pass_back(rxns, [3.5; 1.25], [12; 7]);
out = simulate_span(r, counts, p, monit, 0, 0);
assert(isequal(out{2}, [3.5; 1.25]) && isequal(out{3}, [12; 7]), 'ai and time not passed through');
assert(all(out{1} == 0) && all(out{4} == 0) && all(out{8}(:) == 0), 'a zero span fired');
disp('test_outputs: ok');
