% The parameter "method" = "rssa": the rejection-based method, its state
% built anew in every simulating call.  Outputs keep their meaning, the same
% seed reproduces them, the propensities handed back are those of the counts
% reached, the means agree with the direct method's, and tau-leaping refuses it.
[rxns, counts] = dimer_network();
monit = [0 1 2];

function [out, r, c] = run_spans(rxns, counts, p, monit, spans)
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
p = tamrin_params('method', 'rssa', 'evlog_flag', 1, 'eventlog_arraysize', 10000);
[rs, r_end, c_end] = run_spans(rxns, counts, p, monit, spans);
fired = 0;
c_now = counts;
for k = 1:numel(rs)
  o = rs{k};
  assert(isequal(sum(o{8}(2:end, :), 2), o{4}), 'column firings differ from output 4');
  n = sum(o{4});
  assert(all(o{6}(1:n) >= 1 & o{6}(1:n) <= 2) && all(o{6}(n + 1:end) == 0), 'log numbers');
  assert(all(diff(o{5}(1:n)) >= 0), 'log times not in order');
  c_now = c_now + o{1};
  assert(abs(o{2}(1) - 0.01 * c_now(1) * c_now(2)) <= 1e-12 * o{2}(1), 'propensity 1');
  assert(o{2}(2) == 0.5 * c_now(3), 'propensity 2');
  fired = fired + n;
end
assert(fired > 100, 'too few firings');
assert(c_end(1) + c_end(3) == 300 && c_end(2) + c_end(3) == 200, 'mass not conserved');
assert(isequal(run_spans(rxns, counts, p, monit, spans), rs), 'rssa not reproducible');

p = tamrin_params('randseed', 7);
ab = zeros(300, 2);
for run = 1:300
  p.randseed = run;
  p.method = 'rssa';
  [~, ~, c] = run_spans(rxns, counts, p, monit, [0 10]);
  ab(run, 1) = c(3);
  p = rmfield(p, 'method');
  [~, ~, c] = run_spans(rxns, counts, p, monit, [0 10]);
  ab(run, 2) = c(3);
end
se = sqrt(var(ab(:, 1)) / 300 + var(ab(:, 2)) / 300);
assert(se > 0 && abs(mean(ab(:, 1)) - mean(ab(:, 2))) < 5 * se, ...
       sprintf('mean AB: rssa %g, direct %g, se %g', mean(ab(:, 1)), mean(ab(:, 2)), se));

p = tamrin_params('update', 0, 'stoch_algor', 3, 'tau_error', 0.03, 'method', 'rssa');
err = expect_error(@() run8(rxns, [], counts, p, monit), 'tamrin:badParameter');
assert(~isempty(strfind(err.message, 'tau-leaping')), 'tau-leaping refusal message');
disp('test_method_rssa: ok');
