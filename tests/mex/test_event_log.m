% The event log (outputs 5 and 6) for every algorithm, with room and when it
% fills up.
[rxns, counts] = dimer_network();
monit = [0 1 2];
for algorithm = [2 1 3]
  p = tamrin_params('stoch_algor', algorithm, 'tau_error', 0.03, 'eventlog_arraysize', 100000);
  init = run8(rxns, [], counts, p, monit);
  start = pass_back(rxns, init{2}, init{3});
  kept_init = p;

  % Logging off: both outputs stay 0.
  p.evlog_flag = 0;
  off = simulate_span(start, counts, p, monit, 0, 5);
  assert(all(off{5} == 0) && all(off{6} == 0), 'log written with evlog_flag 0');
  assert(sum(off{4}) > 0, 'nothing fired');

  % Logging on, with room for everything: one entry per firing.
  run8(rxns, [], counts, kept_init, monit);
  p.evlog_flag = 1;
  on = simulate_span(start, counts, p, monit, 0, 5);
  n = sum(on{4});
  assert(n <= 100000, 'test needs a log with room');
  times = on{5}(1:n);
  numbers = on{6}(1:n);
  assert(all(numbers >= 1 & numbers <= numel(rxns)), 'reaction numbers out of 1..num_rxns');
  assert(all(diff(times) >= 0), 'event times decrease');
  assert(times(1) > 0 && times(end) <= 5, 'event times outside the span');
  assert(all(on{5}(n + 1:end) == 0) && all(on{6}(n + 1:end) == 0), 'entries after the last event');
  for i = 1:numel(rxns)
    assert(sum(numbers == i) == on{4}(i), 'log and firing counts disagree');
  end
  % Logging does not change the simulation.
  for k = [1 2 3 4 7 8]
    assert(isequal(on{k}, off{k}), sprintf('output %d depends on the log', k));
  end

  % A small log fills: one warning, the first entries as before, and the
  % simulation goes on to the end of the span unchanged.
  run8(rxns, [], counts, kept_init, monit);
  p.eventlog_arraysize = 25;
  lastwarn('');
  small = simulate_span(start, counts, p, monit, 0, 5);
  [msg, id] = lastwarn();
  assert(strcmp(id, 'tamrin:eventLogFull'), ['no log-full warning: ' id]);
  assert(~isempty(strfind(msg, '25 events')), ['warning does not give the count: ' msg]);
  assert(isequal(size(small{5}), [25 1]), 'log size');
  assert(isequal(small{5}, on{5}(1:25)) && isequal(small{6}, on{6}(1:25)), 'first events differ');
  for k = [1 2 3 4 7 8]
    assert(isequal(small{k}, on{k}), sprintf('output %d changed by a full log', k));
  end

  % A log without room logs nothing and does not fail.
  run8(rxns, [], counts, kept_init, monit);
  p.eventlog_arraysize = 0;
  none = simulate_span(start, counts, p, monit, 0, 5);
  assert(isempty(none{5}) && isempty(none{6}), 'zero-size log outputs');
  assert(isequal(none{1}, on{1}), 'a zero-size log changed the run');
end
disp('test_event_log: ok');
