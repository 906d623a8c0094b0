% The readers agree with one another on a real output folder with event
% logs: for every run, the firings counted in all its event-log files (read
% by plenta_read_eventlog, little-endian doubles) equal its totals in the
% summary file and the column sums of its trajectory file.  The runs log
% more than a million events, so the log spans several files.
dir = temp_folder();
unwind_protect
  write_birth_death(dir, 2, 1, 50000, 1, 11);
  [status, out] = run_in(dir, 'PLENTA_EXE');
  assert(status, 0, out);
  model = plenta_read_model(dir);
  [runs, sets, totals] = plenta_read_summary(model.summary_path);
  assert([runs sets], [1 1; 2 1; 3 2]);
  for k = 1:numel(runs)
    [t, counts, firings, header] = plenta_read_trajectory(sprintf('%s_%d', model.traj_base, runs(k)));
    assert(header.n_mon, 1);
    assert(header.n_rxn, 2);
    assert(header.points, 23);
    assert(t.', 0:0.5:11);
    assert(sum(firings, 1), totals(k, :));

    files = {};
    while exist(sprintf('%s_%d_%d', model.evlog_base, runs(k), numel(files) + 1), 'file')
      files{end + 1} = sprintf('%s_%d_%d', model.evlog_base, runs(k), numel(files) + 1);
    end
    assert(numel(files) >= 2, 'run %d: expected its log in several files', runs(k));
    [first_t, first_r] = plenta_read_eventlog(files{1});
    assert(numel(first_t), 1000000);
    [times, rxns] = plenta_read_eventlog(files);
    assert(numel(times), numel(rxns));
    assert(all(rxns == 1 | rxns == 2));
    assert(all(diff(times) >= 0) && times(1) >= 0 && times(end) <= 11);
    assert(times(1:1000000), first_t);
    assert(accumarray(rxns, 1, [2 1]).', totals(k, :));
    % The log also gives the trajectory: births minus deaths up to each snapshot.
    net = arrayfun(@(s) sum(rxns(times <= s) == 1) - sum(rxns(times <= s) == 2), t);
    assert(net, counts(:, 1));
  end

  % A file cut inside an event is refused.
  f = fopen(files{end}, 'r');
  bytes = fread(f, Inf, 'uint8=>uint8');
  fclose(f);
  f = fopen(fullfile(dir, 'cut'), 'w');
  fwrite(f, bytes(1:end - 3));
  fclose(f);
  try
    plenta_read_eventlog(fullfile(dir, 'cut'));
    error('test:noError', 'a cut event-log file was read');
  catch err
    assert(err.identifier, 'plenta:truncated');
  end
unwind_protect_cleanup
  remove_folder(dir);
end_unwind_protect
