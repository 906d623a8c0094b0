% The optional parameter "method": "cr" simulates the exact methods by
% composition-rejection, with the state rebuilt from the ai inputs in every
% simulating call; "direct" and no field are the defined behaviour; other
% values, and "cr" with tau-leaping, are refused.
[rxns, counts] = dimer_network();
monit = [0 1 2];

function [out, r, c] = run_spans(rxns, counts, p, monit, spans)
  % Initialise with p's seed, then simulate the spans one call each.
  p.update = 2;
  init = run8(rxns, [], counts, p, monit);
  r = pass_back(rxns, init{2}, init{3});
  c = counts;
  out = {};
  for k = 1:rows(spans)
    [out{end + 1}, r, c] = simulate_span(r, c, p, monit, spans(k, 1), spans(k, 2));
  end
end

spans = [0 4; 4 3; 7 3];
for algor = [2 1]
  p = tamrin_params('stoch_algor', algor, 'method', 'cr', 'evlog_flag', 1, ...
                    'eventlog_arraysize', 10000);
  [cr, r_end, c_end] = run_spans(rxns, counts, p, monit, spans);
  fired = 0;
  for k = 1:numel(cr)
    o = cr{k};
    % Firings per column add up to the call's totals; the log holds them all.
    assert(isequal(sum(o{8}(2:end, :), 2), o{4}), 'column firings differ from output 4');
    n = sum(o{4});
    assert(all(o{6}(1:n) >= 1 & o{6}(1:n) <= 2) && all(o{6}(n + 1:end) == 0), 'log numbers');
    assert(all(diff(o{5}(1:n)) >= 0), 'log times not in order');
    assert(isequal(o{7}(2:end, end), o{1}(monit + 1)), 'last column differs from output 1');
    fired = fired + n;
    % Propensities returned are those of the counts reached.
    c_now = counts;
    for j = 1:k
      c_now = c_now + cr{j}{1};
    end
    assert(abs(o{2}(1) - 0.01 * c_now(1) * c_now(2)) <= 1e-12 * o{2}(1), 'propensity 1');
    assert(o{2}(2) == 0.5 * c_now(3), 'propensity 2');
  end
  assert(fired > 100, 'too few firings');
  assert(c_end(1) + c_end(3) == 300 && c_end(2) + c_end(3) == 200, 'mass not conserved');

  % The same seed reproduces every output; the stream is not the defined one.
  assert(isequal(run_spans(rxns, counts, p, monit, spans), cr), 'cr not reproducible');
  direct = run_spans(rxns, counts, rmfield(p, 'method'), monit, spans);
  assert(~isequal(direct, cr), 'cr gave the defined stream');
  p.method = 'direct';
  assert(isequal(run_spans(rxns, counts, p, monit, spans), direct), '"direct" is not the default');
end

% Means of AB at t = 10 over 300 runs agree between the methods within five
% standard errors of their difference.
p = tamrin_params('randseed', 7);
ab = zeros(300, 2);
for run = 1:300
  p.randseed = run;
  p.method = 'cr';
  [~, ~, c] = run_spans(rxns, counts, p, monit, [0 10]);
  ab(run, 1) = c(3);
  p = rmfield(p, 'method');
  [~, ~, c] = run_spans(rxns, counts, p, monit, [0 10]);
  ab(run, 2) = c(3);
end
se = sqrt(var(ab(:, 1)) / 300 + var(ab(:, 2)) / 300);
assert(se > 0 && abs(mean(ab(:, 1)) - mean(ab(:, 2))) < 5 * se, ...
       sprintf('mean AB: cr %g, direct %g, se %g', mean(ab(:, 1)), mean(ab(:, 2)), se));

% Refused values.
p = tamrin_params('update', 0);
for bad = {'fast', 5, '', 'CR'}
  p.method = bad{1};
  expect_error(@() run8(rxns, [], counts, p, monit), 'tamrin:badParameter');
end
p = tamrin_params('update', 0, 'stoch_algor', 3, 'tau_error', 0.03, 'method', 'cr');
err = expect_error(@() run8(rxns, [], counts, p, monit), 'tamrin:badParameter');
assert(~isempty(strfind(err.message, 'tau-leaping')), 'tau-leaping refusal message');
disp('test_method_cr: ok');
