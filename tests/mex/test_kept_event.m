% The kept next event is fired only when it can be: on the first call of a
% session, after a count was set to 0 between calls, or with propensities
% that do not belong to the counts handed in, a simulating call draws it
% afresh instead.  Each case below took counts below 0 or never ended.
p0 = tamrin_params('update', 0, 'timestep', 5);
uni = @(s, d, k) struct('type', 'uni-uni', 'substrates', s, 'products', d, 'StoP', k);
settings = {{}, {'stoch_algor', 1}, {'method', 'cr'}};
names = {'direct', 'first-reaction', 'cr'};

for k = 1:numel(settings)
  opts = settings{k};
  p = p0;
  for j = 1:2:numel(opts)
    p.(opts{j}) = opts{j + 1};
  end

  % First call of a session: the state at load names reaction 1 at time 0,
  % which cannot fire with A = 0.
  clear tamrin;
  out = run8({uni(0, 1, 1), uni(1, 0, 1)}, [], [0; 5], p, [0 1]);
  assert(all([0; 5] + out{1} >= 0) && sum(out{1}) == 0, ...
         sprintf('%s, first call: counts %s', names{k}, mat2str(([0; 5] + out{1})')));

  % A count set to 0 between calls: the kept event (A -> B) cannot fire.
  q = tamrin_params(opts{:});
  init = run8({uni(0, 1, 1)}, [], [10; 0], q, [0 1]);
  out = run8(pass_back({uni(0, 1, 1)}, init{2}, init{3}), [], [0; 0], p, [0 1]);
  assert(isequal(out{1}, [0; 0]) && isequal(out{4}, 0), ...
         sprintf('%s, count set to 0: change %s', names{k}, mat2str(out{1}')));

  % Another reaction's propensity handed in for a count that is now 0: the
  % state does not belong to the counts and is drawn afresh from them.
  rxns = {uni(0, 1, 1), uni(2, 3, 1)};
  init = run8(rxns, [], [5; 0; 5; 0], q, [0 1 2 3]);
  out = run8(pass_back(rxns, init{2}, init{3}), [], [5; 0; 0; 0], p, [0 1 2 3]);
  after = [5; 0; 0; 0] + out{1};
  assert(all(after >= 0) && after(3) == 0 && after(4) == 0, ...
         sprintf('%s, stale propensity: counts %s', names{k}, mat2str(after')));
end

% A continuation that hands back every output unchanged goes on from the
% kept event exactly as before: two spans of 5 give the counts of one of 10.
[rxns, counts] = dimer_network();
p = tamrin_params();
init = run8(rxns, [], counts, p, [0 1 2]);
[whole] = simulate_span(pass_back(rxns, init{2}, init{3}), counts, p, [0 1 2], 0, 10);
init = run8(rxns, [], counts, p, [0 1 2]);
[first, r2, c2] = simulate_span(pass_back(rxns, init{2}, init{3}), counts, p, [0 1 2], 0, 5);
second = simulate_span(r2, c2, p, [0 1 2], 5, 5);
assert(isequal(first{1} + second{1}, whole{1}), 'two spans differ from one');
disp('test_kept_event: ok');
