function [status, out] = run_in(dir, exe, args)
  % Runs an executable named by an environment variable (PLENTA_EXE,
  % PLENTA_STATS_EXE) in dir; standard error joins the output.
  if nargin < 3
    args = '';
  end
  [status, out] = system(sprintf('cd ''%s'' && ''%s'' %s 2>&1', dir, getenv(exe), args));
end
