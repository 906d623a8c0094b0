% The console program and the gateway share model, engine and generator: the
% same network, seed and algorithm give the same species counts and firing
% counts at every snapshot.  One console run (seed once, then propensities
% and first event at time 0, then interval runs) is one initialising call of
% the gateway followed by one simulating call over the same span.
exe = getenv('PLENTA_EXE');
if isempty(exe)
  disp('test_cross_check: the console program is not built; skipped');
  return;
end

% A + B <-> AB, AB -> C.
species = {'A', 3000; 'B', 2000; 'AB', 0; 'C', 0};
rxns = {struct('type', 'binding', 'substrates', [0; 1], 'products', 2, 'StoP', 0.001), ...
        struct('type', 'unbinding', 'substrates', 2, 'products', [0; 1], 'StoP', 0.5), ...
        struct('type', 'uni-uni', 'substrates', 2, 'products', 3, 'StoP', 0.1)};
counts = cell2mat(species(:, 2));
monit = [0 2 3];
time_end = 10;
seed = 20240611;

confirm_recursive_rmdir(false);
for algorithm = [2 3 1]
  dir = tempname();
  mkdir(dir);
  write_console_model(dir, species, rxns, monit, algorithm, seed, time_end);
  [status, text] = system(sprintf('cd "%s" && "%s"', dir, exe));
  assert(status == 0, sprintf('plenta failed (%d): %s', status, text));
  traj = read_trajectory(fullfile(dir, 'traj_1'));  % rows: t, monitored counts, firings

  p = tamrin_params('stoch_algor', algorithm, 'tau_error', 0.03, 'randseed', seed, ...
                    'timestep', time_end, 'snapshot_interval', 1);
  init = run8(rxns, [], counts, p, monit);
  out = simulate_span(pass_back(rxns, init{2}, init{3}), counts, p, monit, 0, time_end);

  % The console file has a line at 0 and then one per boundary, as the
  % gateway's columns 1..10.
  assert(isequal(traj(1, :), 0:time_end), 'console snapshot times');
  assert(isequal(traj(2:4, 1), counts(monit + 1)), 'console initial counts');
  assert(isequal(out{7}(1, :), traj(1, 2:end)), sprintf('algorithm %d: snapshot times', algorithm));
  assert(isequal(out{7}(2:end, :) + counts(monit + 1), traj(2:4, 2:end)), ...
         sprintf('algorithm %d: species counts differ', algorithm));
  assert(isequal(out{8}(2:end, :), traj(5:end, 2:end)), ...
         sprintf('algorithm %d: firing counts differ', algorithm));
  assert(sum(out{4}) > 1000, 'too few firings to compare');
  if algorithm == 3
    % Leaps did happen: a leap logs its firings with one common time.
    run8(rxns, [], counts, p, monit);
    q = p;
    q.evlog_flag = 1;
    q.eventlog_arraysize = 1e6;
    logged = simulate_span(pass_back(rxns, init{2}, init{3}), counts, q, monit, 0, time_end);
    assert(isequal(logged{8}, out{8}), 'logging changed the tau-leaping run');
    assert(any(diff(logged{5}(1:sum(out{4}))) == 0), 'no leap in the tau-leaping run');
  end
  printf('test_cross_check: algorithm %d: %d firings agree\n', algorithm, sum(out{4}));
  rmdir(dir, 's');
end
disp('test_cross_check: ok');
