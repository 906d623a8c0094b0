function [t, counts, firings, header] = plenta_read_trajectory(file)
%PLENTA_READ_TRAJECTORY  Read one trajectory file written by plenta.
%   [T, COUNTS, FIRINGS, HEADER] = PLENTA_READ_TRAJECTORY(FILE) reads the
%   trajectory file FILE (<traj>_<run> in the model folder) of one run.
%
%   T        P x 1, the time of each of the P snapshot lines (the last line
%            is the run's final state)
%   COUNTS   P x n_mon, the count of each monitored species, in the order of
%            the model's monitored list
%   FIRINGS  P x n_rxn, the firings of each reaction since the line before
%            (0 on the first line); the columns add up to the run's totals in
%            the summary file
%   HEADER   struct with the header's fields: run (the run's number within
%            its parameter set), points, n_mon, n_rxn
%
%   The file's last line has no line end; a file that ends with one, or
%   whose lines do not hold 1 + n_mon + n_rxn numbers, was cut short and
%   raises the error plenta:truncated.
%
%   Example:
%     [t, x, f] = plenta_read_trajectory('out/gene-expression/mrna_protein_traj_1');
%     plot(t, x)
%
%   See also PLENTA_READ_SUMMARY, PLENTA_READ_EVENTLOG, PLENTA_PLOT.

  text = plenta_read_text(file, 'trajectory');
  nl = find(text == char(10), 1);
  if isempty(nl)
    error('plenta:truncated', '%s: no line after the trajectory header (truncated)', file);
  end
  h = sscanf(text(1:nl - 1), 'run %d points %d n_mon %d n_rxn %d');
  if numel(h) ~= 4
    error('plenta:format', '%s: line 1 is not a trajectory header', file);
  end
  header = struct('run', h(1), 'points', h(2), 'n_mon', h(3), 'n_rxn', h(4));
  body = text(nl + 1:end);
  if isempty(body) || body(end) == char(10)
    error('plenta:truncated', '%s: the final line is missing (truncated)', file);
  end
  ncol = 1 + header.n_mon + header.n_rxn;
  lines = sum(body == char(10)) + 1;
  [values, n, msg] = sscanf(body, '%f');
  if ~isempty(msg) || n ~= lines * ncol
    error('plenta:truncated', ...
          '%s: expected %d lines of %d numbers after the header (truncated or not a trajectory file)', ...
          file, lines, ncol);
  end
  m = reshape(values, ncol, lines).';
  t = m(:, 1);
  counts = m(:, 2:1 + header.n_mon);
  firings = m(:, 2 + header.n_mon:end);
end
