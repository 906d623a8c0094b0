function write_birth_death(dir, runs1, runs2, birth, eventlog, time_end)
  % The birth-death model of the plenta-stats tests in dir, with its
  % constants.txt: Source (1) -> Source + X at rate birth, X -> Sink at rate
  % 1; set 2 doubles the birth rate.  X is monitored every 0.5 time units.
  f = fopen(fullfile(dir, 'constants.txt'), 'w');
  fprintf(f, '%s\nmodel.txt\n', dir);
  fclose(f);
  f = fopen(fullfile(dir, 'model.txt'), 'w');
  fprintf(f, 'traj\nsummary.txt\nevlog\n\nnum_sets = 2\nnum_rxns = 2\nnum_cmpds = 3\n\n');
  fprintf(f, 'Source 1\nX 0\nSink 0\n\n');
  fprintf(f, 'Birth\nrxntype = uni-multi\nnum_subs = 1\n0\nnum_prods = 2\n0 1\n1 1\nStoP = %.17g\nid = 0\n\n', birth);
  fprintf(f, 'Death\nrxntype = uni-uni\nnum_subs = 1\n1\nnum_prods = 1\n2\nStoP = 1.0\nid = 1\n\n');
  fprintf(f, 'time_start = 0.0\ntime_end = %.17g\nvolume = 1.0\nalgorithm = 2\nrandseed = 4242\n\n', time_end);
  fprintf(f, 'num_monit = 1\n1\nsnapshot_interval = 0.5\neventlog_flag = %d\nnum_repeats = %d\n', eventlog, runs1);
  fprintf(f, 'num_repeats = %d\nnum_species = 0\nnum_rates = 1\n0 0 %.17g\n', runs2, 2 * birth);
  fclose(f);
end
