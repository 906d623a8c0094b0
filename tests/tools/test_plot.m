% plenta_plot draws a model folder headless into a PNG, with the ensemble
% statistics that plenta-stats writes; the readers fail with clear errors
% on a folder or file that is not there or was cut short.
dir = temp_folder();
unwind_protect
  write_birth_death(dir, 40, 10, 10, 0, 5);
  [status, out] = run_in(dir, 'PLENTA_EXE');
  assert(status, 0, out);
  [status, out] = run_in(dir, 'PLENTA_STATS_EXE', ['--no-progress ' dir]);
  assert(status, 0, out);
  warning('off', 'Octave:gnuplot-graphics');
  png = fullfile(dir, 'plot.png');
  [fig, stats] = plenta_plot(dir, 'set', 2, 'runs', 4, 'png', png);
  close(fig);
  info = imfinfo(png);
  assert(info.Width > 300 && info.Height > 200);
  assert(stats.runs, 10);
  assert(stats.names, {'X'});
  table = dlmread(fullfile(dir, 'summary_set2_stats.csv'), ',', 1, 0);
  assert(stats.t, table(:, 1), 1e-12);
  assert(stats.mean, table(:, 2), 1e-9);
  assert(stats.sd, table(:, 3), 1e-9);

  % A run whose file was cut short is left out with a warning.
  f = fopen(fullfile(dir, 'traj_41'), 'w');
  fprintf(f, 'run 1 points 11 n_mon 1 n_rxn 2\n0\t0\t0\t0\n');
  fclose(f);
  lastwarn('');
  [fig, stats] = plenta_plot(dir, 'set', 2, 'png', png);
  close(fig);
  [msg, id] = lastwarn();
  assert(id, 'plenta:plotRunLeftOut');
  assert(strfind(msg, 'traj_41: the final line is missing (truncated); run 41 left out') > 0);
  assert(stats.runs, 9);

  missing = fullfile(dir, 'no-such-folder');
  cases = {@() plenta_plot(missing), 'plenta:cantOpen'; ...
           @() plenta_plot(dir, 'set', 3), 'plenta:noRuns'; ...
           @() plenta_plot(dir, 'colour'), 'plenta:usage'; ...
           @() plenta_read_trajectory(fullfile(dir, 'traj_41')), 'plenta:truncated'; ...
           @() plenta_read_summary(fullfile(dir, 'nothing.txt')), 'plenta:cantOpen'; ...
           @() plenta_read_eventlog(fullfile(dir, 'evlog_1_1')), 'plenta:cantOpen'};
  for k = 1:rows(cases)
    try
      cases{k, 1}();
      error('test:noError', 'case %d raised no error', k);
    catch err
      assert(err.identifier, cases{k, 2});
    end
  end
unwind_protect_cleanup
  remove_folder(dir);
end_unwind_protect
