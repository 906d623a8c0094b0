% The CSV tables of plenta-stats on 1,000 + 200 runs of the birth-death model
% equal the statistics computed here from the trajectory files through
% plenta_read_trajectory (mean, sample deviation, min, max, mean firings),
% and their header names the monitored species as plenta_read_model reads
% them.
dir = temp_folder();
unwind_protect
  write_birth_death(dir, 1000, 200, 10, 0, 5);
  [status, out] = run_in(dir, 'PLENTA_EXE');
  assert(status, 0, out);
  [status, out] = run_in(dir, 'PLENTA_STATS_EXE', ['--no-progress ' dir]);
  assert(status, 0, out);

  model = plenta_read_model(dir);
  assert(model.monitored, {'X'});
  assert(model.num_repeats, [1000 200]);
  [runs, sets, totals] = plenta_read_summary(model.summary_path);
  assert(runs.', 1:1200);
  assert(sets.', [ones(1, 1000), 2 * ones(1, 200)]);
  assert(all(isfinite(totals(:))));

  for s = 1:2
    csv = fullfile(dir, sprintf('summary_set%d_stats.csv', s));
    f = fopen(csv, 'r');
    header = fgetl(f);
    fclose(f);
    assert(header, 'time,X_mean,X_sd,X_min,X_max,R1_firings_mean,R2_firings_mean,runs');
    table = dlmread(csv, ',', 1, 0);

    members = runs(sets == s);
    x = zeros(rows(table), numel(members));
    fired = zeros(rows(table), 2, numel(members));
    for k = 1:numel(members)
      [t, counts, firings] = plenta_read_trajectory(sprintf('%s_%d', model.traj_base, members(k)));
      assert(sum(firings, 1), totals(members(k), :));
      x(:, k) = counts(:, 1);
      fired(:, :, k) = firings;
    end
    n = numel(members);
    assert(size(table), [numel(t), 8]);
    assert(table(:, 1), t, 1e-12);
    assert(table(:, 2), mean(x, 2), 1e-12 * max(abs(x(:))));
    assert(table(:, 3), std(x, 0, 2), 1e-12 * max(abs(x(:))));
    assert(table(:, 4), min(x, [], 2));
    assert(table(:, 5), max(x, [], 2));
    assert(table(:, 6:7), mean(fired, 3), 1e-12 * max(abs(fired(:))));
    assert(table(:, 8), n * ones(numel(t), 1));
  end
unwind_protect_cleanup
  remove_folder(dir);
end_unwind_protect
