% Events in tamrin (PAR.events): a run continued across calls executes its
% events exactly as one call does, the same model gives the console
% program's trajectory and event log, and a bad event raises
% tamrin:badEvent naming the event and the field.
%
% Immigration of x0 at the rate of the parameter kb, death x0 -> x1; a reset
% at 5 (a snapshot time) with a higher-priority event at the same instant;
% a pulse every 3 from 1; a delayed switch of kb when x0 passes 150 (values
% of trigger time); a switch back when x0 falls below 60.
rxns = {struct('type', 'formula', 'substrates', zeros(0, 2), 'products', [0 1], ...
               'formula', 'kb'), ...
        struct('type', 'uni-uni', 'substrates', 0, 'products', 1, 'StoP', 0.1)};
% The last event triggers at 1.8 and executes at 2.3, with x0 of 1.8: its
% pending execution crosses the end of a call at 2.
ev = struct('name', {'Reset at 5', 'Pulse', 'Slow down', 'Count before the reset', 'Speed up', ...
                     'Late copy'}, ...
            'trigger', {'at 5', 'at 1 every 3', 'when x0 > 150', 'at 5', 'when x0 < 60', ...
                        'at 1.8'}, ...
            'assign', {{'x0 = 0'}, {'x0 = x0 + 50'}, {'kb = kb / 4 + x0 - x0'}, ...
                       {'x1 = x1 + 1000000'}, {'kb = 20'}, {'x1 = x1 + 1000 * x0'}}, ...
            'priority', {[], [], [], 10, [], []}, 'delay', {[], [], 0.5, [], [], 0.5}, ...
            'values', {[], [], 'trigger', [], [], 'trigger'}, ...
            'initial', {[], [], [], [], false, []}, 'persistent', {[], [], [], [], false, []});
counts = [0; 0];
monit = [0 1];
seed = 4711;
time_end = 10;

function [mon, fir, log_t, log_r, total] = in_calls(rxns, counts, p, monit, spans)
  % An initialising call, then simulating calls over the given spans, each
  % going on from the last; the columns of MON (as counts) and FIR joined.
  init = run8(rxns, [], counts, p, monit);
  counts = counts + init{1};   % events executed at the start
  rxns = pass_back(rxns, init{2}, init{3});
  mon = [];
  fir = [];
  n = sum(init{6} < 0);        % their log entries
  log_t = init{5}(1:n);
  log_r = init{6}(1:n);
  total = 0;
  start = p.start_time;
  for span = spans
    [out, rxns, next] = simulate_span(rxns, counts, p, monit, start, span);
    mon = [mon, out{7}(2:end, :) + counts(monit + 1)];
    fir = [fir, out{8}];
    n = sum(out{4}) + sum(out{6} < 0);
    log_t = [log_t; out{5}(1:n)];
    log_r = [log_r; out{6}(1:n)];
    total = total + sum(out{4});
    counts = next;
    start = start + span;
  end
end

% Direct method, first-reaction selection, tau-leaping, and the direct
% method's runs by composition-rejection (a stream of its own: not compared
% with the console program, whose --method cr draws its first event itself).
configs = {2, 'direct'; 1, 'direct'; 3, 'direct'; 2, 'cr'};
for c = 1:rows(configs)
  algorithm = configs{c, 1};
  p = tamrin_params('stoch_algor', algorithm, 'tau_error', 0.03, 'randseed', seed, ...
                    'timestep', time_end, 'snapshot_interval', 1, 'evlog_flag', 1, ...
                    'eventlog_arraysize', 1e5, 'method', configs{c, 2});
  p.parameters = struct('kb', 40);
  p.events = ev;

  [one, fir1, t1, r1] = in_calls(rxns, counts, p, monit, time_end);
  % Calls ending at 2, 5 (the reset and the pulse's neighbours), 5.5 ... :
  % the pending delayed execution, the repeating pulse and the conditions'
  % values cross the calls.
  q = p;
  q.timestep = 1;
  [many, firn, tn, rn] = in_calls(rxns, counts, q, monit, [2 3 1 2 2]);
  assert(isequal(one, many), sprintf('algorithm %d: counts differ across calls', algorithm));
  assert(isequal(fir1, firn), sprintf('algorithm %d: firings differ across calls', algorithm));
  if algorithm ~= 3   % a leap ends at a call's end, and the log with it
    assert(isequal(t1, tn) && isequal(r1, rn), ...
           sprintf('algorithm %d: event logs differ across calls', algorithm));
  end
  % Executions logged as -k: the pulses, and at 5 the priority event first.
  assert(isequal(t1(r1 == -2)', [1 4 7 10]), 'pulses at 1, 4, 7, 10');
  assert(isequal(t1(r1 == -6), 2.3), 'the delayed execution at 2.3');
  at5 = r1(t1 == 5 & r1 < 0);   % a leap logs its firings at its end
  assert(isequal(at5(1:2)', [-4 -1]), 'priority order at 5');
  assert(one(1, 5) == 0 && one(2, 5) >= 1e6 && one(2, 4) < 1e6, 'snapshot 5 after the events');
  printf('test_events: algorithm %d (%s): %d executions, continued across 5 calls\n', ...
         algorithm, configs{c, 2}, sum(r1 < 0));

  % The console program, same model and seed.
  exe = getenv('PLENTA_EXE');
  if isempty(exe) || strcmp(configs{c, 2}, 'cr')
    continue;
  end
  dir = tempname();
  mkdir(dir);
  f = fopen(fullfile(dir, 'constants.txt'), 'w');
  fprintf(f, '%s\nmodel.txt\n', dir);
  fclose(f);
  f = fopen(fullfile(dir, 'model.txt'), 'w');
  fprintf(f, 'traj\nsummary.txt\nevlog\n\nnum_sets = 1\nnum_rxns = 2\nnum_cmpds = 2\n\n');
  fprintf(f, 'x0 0\nx1 0\n\nImmigration\nrxntype = formula\nnum_subs = 0\nnum_prods = 1\n0 1\n');
  fprintf(f, 'rate = kb\nid = 0\n\nDeath\nrxntype = uni-uni\nnum_subs = 1\n0\nnum_prods = 1\n1\n');
  fprintf(f, 'StoP = 0.1\nid = 1\n\ntime_start = 0.0\ntime_end = %d\nvolume = 1.0\n', time_end);
  fprintf(f, 'algorithm = %d\n', algorithm);
  if algorithm == 3
    fprintf(f, 'tau_error = 0.03\n');
  end
  fprintf(f, 'randseed = %d\n\nnum_monit = 2\n0\n1\nsnapshot_interval = 1\n', seed);
  fprintf(f, 'eventlog_flag = 1\nnum_repeats = 1\nparameters = 1\nkb 40.0\nevents = %d\n', numel(ev));
  for k = 1:numel(ev)
    fprintf(f, '%s\ntrigger = %s\n', ev(k).name, ev(k).trigger);
    if ~isempty(ev(k).priority), fprintf(f, 'priority = %g\n', ev(k).priority); end
    if ~isempty(ev(k).delay), fprintf(f, 'delay = %g\n', ev(k).delay); end
    if ~isempty(ev(k).values), fprintf(f, 'values = %s\n', ev(k).values); end
    if ~isempty(ev(k).initial), fprintf(f, 'initial = false\n'); end
    if ~isempty(ev(k).persistent), fprintf(f, 'persistent = false\n'); end
    fprintf(f, 'assignments = %d\n', numel(ev(k).assign));
    fprintf(f, '%s\n', ev(k).assign{:});
  end
  fclose(f);
  [status, text] = system(sprintf('cd "%s" && "%s"', dir, exe));
  assert(status == 0, sprintf('plenta failed (%d): %s', status, text));
  traj = read_trajectory(fullfile(dir, 'traj_1'));
  assert(isequal(traj(2:3, 2:end), one), sprintf('algorithm %d: console counts differ', algorithm));
  assert(isequal(traj(4:end, 2:end), fir1(2:end, :)), ...
         sprintf('algorithm %d: console firings differ', algorithm));
  fid = fopen(fullfile(dir, 'evlog_1_1'), 'r', 'ieee-le');
  logged = fread(fid, Inf, 'double');
  fclose(fid);
  n = numel(logged) / 2;
  assert(isequal(logged(1:n), t1) && isequal(logged(n + 1:end), r1), ...
         sprintf('algorithm %d: console event log differs', algorithm));
  confirm_recursive_rmdir(false);
  rmdir(dir, 's');
  printf('test_events: algorithm %d: the console program agrees\n', algorithm);
end

% Bad events: the identifier, the event and the field.
p = tamrin_params();
p.parameters = struct('kb', 40);
bad = ev;
bad(3).trigger = 'when x0 > y';
err = expect_error(@() run8(rxns, [], counts, setfield(p, 'events', bad), monit), 'tamrin:badEvent');
assert(~isempty(strfind(err.message, 'PAR.events(3) (Slow down), trigger')) && ...
       ~isempty(strfind(err.message, '"y"')), err.message);
bad = ev;
bad(2).assign = {'x7 = 1'};
err = expect_error(@() run8(rxns, [], counts, setfield(p, 'events', bad), monit), 'tamrin:badEvent');
assert(~isempty(strfind(err.message, 'PAR.events(2) (Pulse), assignment 1')), err.message);
bad = ev;
bad(1).values = 'later';
err = expect_error(@() run8(rxns, [], counts, setfield(p, 'events', bad), monit), 'tamrin:badEvent');
assert(~isempty(strfind(err.message, 'field "values"')), err.message);
bad = ev;
bad(4).assign = 7;
expect_error(@() run8(rxns, [], counts, setfield(p, 'events', bad), monit), 'tamrin:badEvent');
expect_error(@() run8(rxns, [], counts, setfield(p, 'events', struct('trigger', 'at 1', ...
             'assign', {{'x0 = 1'}}, 'when', 1)), monit), 'tamrin:badEvent');
% A species set to a value that is not a count is a fault of the run.
p.events = struct('trigger', 'at 0.5', 'assign', {{'x0 = -3'}});
init = run8(rxns, [], counts, p, monit);
p.update = 0;
err = expect_error(@() run8(pass_back(rxns, init{2}, init{3}), [], counts, p, monit), ...
                   'tamrin:runFault');
assert(~isempty(strfind(err.message, 'event 1 at time 0.5')), err.message);
disp('test_events: ok');
