function p = tamrin_params(varargin)
  % A complete parameter structure (direct method, seed 42, one snapshot per
  % time unit over 10 units, no event log, initialise); name/value pairs
  % override fields.
  p = struct('start_time', 0, 'timestep', 10, 'volume', 1, 'stoch_algor', 2, ...
             'randseed', 42, 'snapshot_interval', 1, 'evlog_flag', 0, ...
             'eventlog_arraysize', 100, 'update', 2);
  for k = 1:2:numel(varargin)
    p.(varargin{k}) = varargin{k + 1};
  end
end
