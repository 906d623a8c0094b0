% A model with events: plenta_read_model names a monitored rule,
% plenta_read_eventlog returns the executions as negative codes beside the
% firings (the firings alone still agree with the summary), and plenta_plot
% draws the folder.
dir = temp_folder();
unwind_protect
  root = fileparts(fileparts(fileparts(mfilename('fullpath'))));
  text = fileread(fullfile(root, 'examples', 'threshold-switch', 'model.txt'));
  text = strrep(text, 'eventlog_flag = 0', 'eventlog_flag = 1');
  text = strrep(text, 'num_repeats = 100', 'num_repeats = 3');
  f = fopen(fullfile(dir, 'model.txt'), 'w');
  fputs(f, text);
  fclose(f);
  f = fopen(fullfile(dir, 'constants.txt'), 'w');
  fprintf(f, '%s\nmodel.txt\n', dir);
  fclose(f);
  [status, out] = run_in(dir, 'PLENTA_EXE');
  assert(status, 0, out);
  model = plenta_read_model(dir);
  assert(model.monitored, {'P', 'production'});
  [runs, sets, totals] = plenta_read_summary(model.summary_path);
  for k = 1:numel(runs)
    [times, codes] = plenta_read_eventlog(sprintf('%s_%d_1', model.evlog_base, runs(k)));
    assert(all(codes == 1 | codes == 2 | codes == -1 | codes == -2));
    assert(all(diff(times) >= 0));
    assert(accumarray(codes(codes > 0), 1, [2 1]).', totals(k, :));
    off = times(codes == -1);
    on = times(codes == -2);
    assert(numel(off) >= 3 && numel(on) >= 2);
    % Switched off and on in turn, the first switch off.
    assert(off(1) < on(1));
    [t, counts] = plenta_read_trajectory(sprintf('%s_%d', model.traj_base, runs(k)));
    assert(all(counts(:, 2) == 0 | counts(:, 2) == 40));
  end
  [status, out] = run_in(dir, 'PLENTA_STATS_EXE', ['--no-progress ' dir]);
  assert(status, 0, out);
  warning('off', 'Octave:gnuplot-graphics');
  png = fullfile(dir, 'plot.png');
  fig = plenta_plot(dir, 'png', png);
  close(fig);
  info = imfinfo(png);
  assert(info.Width > 300 && info.Height > 200);
unwind_protect_cleanup
  remove_folder(dir);
end_unwind_protect
