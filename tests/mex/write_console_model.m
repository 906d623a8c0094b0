function write_console_model(dir, species, rxns, monit, algorithm, seed, time_end)
  % Writes constants.txt and model.txt for one set of one run of the console
  % program: the same network as the gateway's reaction structures.
  f = fopen(fullfile(dir, 'constants.txt'), 'w');
  fprintf(f, './\nmodel.txt\n');
  fclose(f);
  f = fopen(fullfile(dir, 'model.txt'), 'w');
  fprintf(f, 'traj\nsummary.txt\nevlog\n\nnum_sets = 1\nnum_rxns = %d\nnum_cmpds = %d\n\n', ...
          numel(rxns), rows(species));
  for j = 1:rows(species)
    fprintf(f, '%s %d\n', species{j, 1}, species{j, 2});
  end
  fprintf(f, '\n');
  for i = 1:numel(rxns)
    r = rxns{i};
    fprintf(f, 'Reaction %d\nrxntype = %s\nnum_subs = %d\n', i, r.type, rows(r.substrates));
    fprintf(f, '%d\n', r.substrates(:, 1));
    fprintf(f, 'num_prods = %d\n', rows(r.products));
    fprintf(f, '%d\n', r.products(:, 1));
    fprintf(f, 'StoP = %.17g\nid = %d\n\n', r.StoP, i - 1);
  end
  fprintf(f, 'time_start = 0.0\ntime_end = %g\nvolume = 1.0\nalgorithm = %d\n', time_end, algorithm);
  if algorithm == 3
    fprintf(f, 'tau_error = 0.03\n');
  end
  fprintf(f, 'randseed = %d\n\nnum_monit = %d\n', seed, numel(monit));
  fprintf(f, '%d\n', monit);
  fprintf(f, 'snapshot_interval = 1.0\neventlog_flag = 0\nnum_repeats = 1\n');
  fclose(f);
end
