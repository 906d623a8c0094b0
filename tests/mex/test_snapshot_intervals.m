% Snapshot intervals that no double holds (0.1, 0.2, 0.3, 0.7, 1/3): a span
% of n intervals gives n columns at the grid times k * interval, none
% dropped, every firing in exactly one column, for all three methods; spans
% that start on a grid time written or summed in decimal continue without an
% extra column; and the console program gives the same snapshots.
[rxns, counts] = dimer_network();
monit = [0 2];
intervals = [0.1 0.2 0.3 0.7 0.333333333333333];
n = 30;
for algorithm = [2 3 1]
  for interval = intervals
    p = tamrin_params('stoch_algor', algorithm, 'tau_error', 0.03, ...
                      'snapshot_interval', interval);
    init = run8(rxns, [], counts, p, monit);
    start = pass_back(rxns, init{2}, init{3});
    lastwarn('');
    % n intervals as the user writes them: 3, 6, 9, 21, 9.99999999999999.
    span = str2double(sprintf('%.15g', n * interval));
    out = simulate_span(start, counts, p, monit, 0, span);
    what = sprintf('algorithm %d, interval %.15g', algorithm, interval);
    [msg, id] = lastwarn();
    assert(isempty(id), [what ': warning ' id ': ' msg]);
    assert(isequal(size(out{7}), [3 n]) && isequal(size(out{8}), [3 n]), [what ': sizes']);
    times = out{7}(1, :);
    assert(isequal(times, (1:n) * interval), [what ': column times are not the grid']);
    assert(isequal(out{8}(1, :), times), [what ': output 8 times']);
    assert(all(abs(times - (1:n) * interval) <= 1e-12 * (1:n)), [what ': times drift']);
    assert(isequal(sum(out{8}(2:end, :), 2), out{4}), [what ': firings lost or doubled']);
    assert(isequal(out{7}(2:end, end), out{1}(monit + 1)), [what ': last column vs output 1']);
    assert(sum(out{4}) > 100, [what ': too few firings to tell']);
    assert(all(sum(out{8}(2:end, :), 1) > 0), [what ': an interval without firings']);
  end
end

% Continuing in spans of one interval: start times summed up in decimal drift
% off the grid (0.1 added eight times is 0.7999999999999999, the grid time
% is 0.8); each call still gives one column, at the grid time after it.
p = tamrin_params('snapshot_interval', 0.1);
init = run8(rxns, [], counts, p, monit);
r = pass_back(rxns, init{2}, init{3});
c = counts;
s = 0;
cols = zeros(3, 20);
for k = 1:20
  lastwarn('');
  [out, r, c] = simulate_span(r, c, p, monit, s, 0.1);
  [msg, id] = lastwarn();
  assert(isempty(id), sprintf('span %d: warning %s: %s', k, id, msg));
  assert(isequal(size(out{7}), [3 1]), sprintf('span %d: columns', k));
  assert(out{7}(1) == k * 0.1, sprintf('span %d: column at %.17g', k, out{7}(1)));
  assert(isequal(out{8}(2:end), out{4}), sprintf('span %d: firings', k));
  cols(:, k) = out{8};
  s = s + 0.1;
end
assert(s ~= 20 * 0.1, 'the summed start times did not drift');
% The same twenty intervals in one call from the same seed: the same columns.
init = run8(rxns, [], counts, p, monit);
one = simulate_span(pass_back(rxns, init{2}, init{3}), counts, p, monit, 0, 2);
assert(isequal(size(one{8}), [3 20]), 'columns of one call over 20 intervals');
assert(isequal(one{8}, cols), 'spans of one interval fired differently');

% A start written as 0.7 (the grid time is 0.7000000000000001).
out = simulate_span(pass_back(rxns, init{2}, init{3}), counts, p, monit, 0.7, 0.2);
assert(isequal(out{7}(1, :), [8 9] * 0.1), 'columns of a span from 0.7');

% The console program's trajectory holds the same snapshots for an interval
% of 0.1: a line at 0, one per grid time, the final line at time_end.
exe = getenv('PLENTA_EXE');
if isempty(exe)
  disp('test_snapshot_intervals: the console program is not built; cross-check skipped');
else
  species = {'A', counts(1); 'B', counts(2); 'AB', counts(3)};
  confirm_recursive_rmdir(false);
  for algorithm = [2 3 1]
    dir = tempname();
    mkdir(dir);
    write_console_model(dir, species, rxns, monit, algorithm, 42, 3);
    model = fullfile(dir, 'model.txt');
    text = strrep(fileread(model), 'snapshot_interval = 1.0', 'snapshot_interval = 0.1');
    f = fopen(model, 'w');
    fputs(f, text);
    fclose(f);
    [status, msg] = system(sprintf('cd "%s" && "%s"', dir, exe));
    assert(status == 0, sprintf('plenta failed (%d): %s', status, msg));
    traj = read_trajectory(fullfile(dir, 'traj_1'));
    q = tamrin_params('stoch_algor', algorithm, 'tau_error', 0.03, 'snapshot_interval', 0.1);
    init = run8(rxns, [], counts, q, monit);
    out = simulate_span(pass_back(rxns, init{2}, init{3}), counts, q, monit, 0, 3);
    what = sprintf('algorithm %d', algorithm);
    assert(columns(traj) == 31, [what ': console lines']);
    assert(all(abs(traj(1, 2:end) - out{7}(1, :)) < 1e-5), [what ': console times']);
    assert(isequal(out{7}(2:end, :) + counts(monit + 1), traj(2:3, 2:end)), [what ': counts']);
    assert(isequal(out{8}(2:end, :), traj(4:end, 2:end)), [what ': firings']);
    rmdir(dir, 's');
  end
end
disp('test_snapshot_intervals: ok');
