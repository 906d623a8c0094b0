function [times, rxns] = plenta_read_eventlog(file)
%PLENTA_READ_EVENTLOG  Read event-log files written by plenta.
%   [TIMES, RXNS] = PLENTA_READ_EVENTLOG(FILE) reads one binary event-log
%   file <evlog>_<run>_<k> (written when the model sets eventlog_flag = 1):
%   n event times followed by n reaction numbers, 64-bit little-endian
%   doubles, without a header.
%
%   TIMES    n x 1, the time of each firing, in firing order (the firings
%            of one tau leap share the leap's end time)
%   RXNS     n x 1, the reaction number of each firing (from 1); in a
%            model with events, an execution of event k is the entry
%            -k at its time (events counted from 1 in model order)
%
%   FILE may also be a cell array of file names, e.g. all files of one run
%   in the order k = 1, 2, ...; their events are joined in that order.  A
%   run's files hold 1,000,000 events each, but for the last one.
%
%   Example: the firings of each reaction in run 1 of a folder
%     files = dir('out/enzyme-sets/evlog_1_*');
%     k = cellfun(@(s) sscanf(s(find(s == '_', 1, 'last') + 1:end), '%d'), {files.name});
%     [~, order] = sort(k);
%     [t, r] = plenta_read_eventlog(fullfile('out/enzyme-sets', {files(order).name}));
%     accumarray(r(r > 0), 1)
%
%   See also PLENTA_READ_TRAJECTORY, PLENTA_READ_SUMMARY.

  if iscell(file)
    times = zeros(0, 1);
    rxns = zeros(0, 1);
    for k = 1:numel(file)
      [t, r] = plenta_read_eventlog(file{k});
      times = [times; t];  %#ok<AGROW>
      rxns = [rxns; r];    %#ok<AGROW>
    end
    return;
  end
  f = fopen(file, 'r', 'ieee-le');
  if f < 0
    error('plenta:cantOpen', '%s: cannot open the event-log file', file);
  end
  values = fread(f, Inf, 'double');
  fseek(f, 0, 'eof');
  bytes = ftell(f);
  fclose(f);
  if mod(bytes, 16) ~= 0
    error('plenta:truncated', '%s: %d bytes, not a whole number of 16-byte events (truncated)', ...
          file, bytes);
  end
  n = numel(values) / 2;
  times = values(1:n);
  rxns = values(n + 1:end);
end
