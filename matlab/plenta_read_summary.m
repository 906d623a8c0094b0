function [runs, sets, totals] = plenta_read_summary(file)
%PLENTA_READ_SUMMARY  Read the summary file written by plenta.
%   [RUNS, SETS, TOTALS] = PLENTA_READ_SUMMARY(FILE) reads the summary file
%   (named on line 2 of the model file's header), which lists every run in
%   the order it was simulated.
%
%   RUNS     R x 1, the run counter of each run (over all parameter sets,
%            from 1); it names the trajectory file <traj>_<run> and the
%            event-log files <evlog>_<run>_<k>
%   SETS     R x 1, the parameter set of each run (from 1)
%   TOTALS   R x n_rxn, each run's firings of each reaction over the whole
%            run; a row of NaN for a run that did not finish (the program
%            was stopped before it wrote the run's totals)
%
%   Example:
%     [runs, sets, totals] = plenta_read_summary('out/enzyme-sets/summary.txt');
%     mean(totals(sets == 2, :))      % mean firings per reaction in set 2
%
%   See also PLENTA_READ_TRAJECTORY, PLENTA_READ_EVENTLOG.

  text = plenta_read_text(file, 'summary');
  % One block per run: its start lines, then the totals written at its end.
  [tok, starts, ends] = regexp(text, 'grp 1 rxns (\d+)\nset (\d+) run (\d+)\n((?:\d+ -?\d+\n)*)', ...
                               'tokens', 'start', 'end');
  n = numel(tok);
  runs = zeros(n, 1);
  sets = zeros(n, 1);
  n_rxn = 0;
  if n > 0
    n_rxn = str2double(tok{1}{1});
  end
  totals = nan(n, n_rxn);
  covered = 0;
  for k = 1:n
    if starts(k) ~= covered + 1
      error('plenta:format', '%s: text that is not a summary line after run %d', file, k - 1);
    end
    sets(k) = str2double(tok{k}{2});
    runs(k) = str2double(tok{k}{3});
    pairs = sscanf(tok{k}{4}, '%d');
    if numel(pairs) == 2 * n_rxn && isequal(pairs(1:2:end).', 1:n_rxn)
      totals(k, :) = pairs(2:2:end).';
    end
    covered = ends(k);
  end
  rest = text(covered + 1:end);
  if isempty(rest)
    return;
  end
  % The program stopped while it wrote the last run's start lines or totals:
  % the run is listed when it was named, without totals.
  last = regexp(rest, '^grp 1 rxns \d+\nset (\d+) run (\d+)', 'tokens', 'once');
  if ~isempty(last)
    sets(end + 1, 1) = str2double(last{1});
    runs(end + 1, 1) = str2double(last{2});
    totals(end + 1, :) = nan;
  elseif ~strncmp(rest, 'grp', min(3, numel(rest)))
    error('plenta:format', '%s: text that is not a summary line after run %d', file, n);
  end
end
