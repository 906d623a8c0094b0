function [fig, stats] = plenta_plot(folder, varargin)
%PLENTA_PLOT  Plot a few trajectories of a plenta run with the ensemble mean.
%   PLENTA_PLOT(FOLDER) draws, for every monitored species of the model in
%   FOLDER (the folder plenta ran in, with its constants.txt), a panel with
%   the first three runs of parameter set 1, the mean over all runs of the
%   set and a band of one standard deviation around it, labelled with the
%   species names from the model file.
%
%   PLENTA_PLOT(FOLDER, 'set', K)    plots parameter set K (default 1)
%   PLENTA_PLOT(FOLDER, 'runs', N)   draws N trajectories (default 3; 0: none)
%   PLENTA_PLOT(FOLDER, 'png', FILE) writes the figure to the PNG file FILE,
%                                    with the figure hidden (for batch use:
%                                    octave-cli --no-gui --eval "...")
%
%   [FIG, STATS] = PLENTA_PLOT(...) returns the figure handle and a struct
%   with the fields t (snapshot times), mean and sd (sample standard
%   deviation, divisor n - 1), one column per monitored species, names, and
%   runs (the number of runs summarised).  Runs whose trajectory file is
%   missing or cut short, or whose times differ from the first run's, are
%   left out with a warning (plenta:plotRunLeftOut).
%
%   Example:
%     plenta_plot('out/gene-expression', 'runs', 5, 'png', 'expression.png')
%
%   See also PLENTA_READ_TRAJECTORY, PLENTA_READ_SUMMARY, PLENTA_READ_MODEL.

  opts = struct('set', 1, 'runs', 3, 'png', '');
  if mod(numel(varargin), 2) ~= 0
    error('plenta:usage', 'plenta_plot: options come in name, value pairs');
  end
  for k = 1:2:numel(varargin)
    name = lower(varargin{k});
    if ~ischar(name) || ~isfield(opts, name)
      error('plenta:usage', 'plenta_plot: unknown option (use set, runs, png)');
    end
    opts.(name) = varargin{k + 1};
  end

  model = plenta_read_model(folder);
  [runs, sets] = plenta_read_summary(model.summary_path);
  members = runs(sets == opts.set);
  if isempty(members)
    error('plenta:noRuns', '%s: no runs of parameter set %d', model.summary_path, opts.set);
  end

  % Running mean and squared deviations over the runs (Welford's method),
  % so that a large ensemble is never held in memory; the first few runs
  % are kept for drawing.
  n = 0;
  shown = {};
  for r = members.'
    file = sprintf('%s_%d', model.traj_base, r);
    try
      [t, x] = plenta_read_trajectory(file);
    catch err
      warning('plenta:plotRunLeftOut', '%s; run %d left out', err.message, r);
      continue;
    end
    if n == 0
      t_ref = t;
      mu = zeros(size(x));
      m2 = zeros(size(x));
    elseif ~isequal(t, t_ref)
      warning('plenta:plotRunLeftOut', '%s: snapshot times differ from the first run''s; run %d left out', ...
              file, r);
      continue;
    end
    n = n + 1;
    delta = x - mu;
    mu = mu + delta / n;
    m2 = m2 + delta .* (x - mu);
    if numel(shown) < opts.runs
      shown{end + 1} = x;  %#ok<AGROW>
    end
  end
  if n == 0
    error('plenta:noRuns', '%s: no readable trajectory of parameter set %d', folder, opts.set);
  end
  sd = zeros(size(mu));
  if n > 1
    sd = sqrt(m2 / (n - 1));
  end
  stats = struct('t', t_ref, 'mean', mu, 'sd', sd, 'runs', n);
  stats.names = model.monitored;

  nmon = numel(model.monitored);
  if isempty(opts.png)
    fig = figure();
  else
    fig = figure('visible', 'off');
  end
  set(fig, 'PaperUnits', 'inches', 'PaperPosition', [0 0 8 max(3 * nmon, 3.2)]);
  colors = [0.85 0.33 0.10; 0.47 0.67 0.19; 0.49 0.18 0.56; 0.93 0.69 0.13; 0.30 0.75 0.93];
  for i = 1:nmon
    % Stacked panels with a gap for the titles; every panel has its legend
    % on the right, so that all keep the same width.
    slot = 1 / nmon;
    pos = [0.12, 1 - i * slot + 0.3 * slot, 0.6, 0.52 * slot];
    ax = axes('Position', pos);
    hold on;
    lo = mu(:, i) - sd(:, i);
    hi = mu(:, i) + sd(:, i);
    band = fill([t_ref; flipud(t_ref)], [lo; flipud(hi)], [0.78 0.86 0.98], 'EdgeColor', 'none');
    handles = band;
    labels = {'mean \pm 1 sd'};
    for k = 1:numel(shown)
      c = colors(mod(k - 1, size(colors, 1)) + 1, :);
      handles(end + 1) = plot(t_ref, shown{k}(:, i), '-', 'Color', c, 'LineWidth', 0.8);  %#ok<AGROW>
      labels{end + 1} = sprintf('run %d', members(k));  %#ok<AGROW>
    end
    handles(end + 1) = plot(t_ref, mu(:, i), 'k-', 'LineWidth', 2);
    if n == 1
      labels{end + 1} = 'mean of 1 run';
    else
      labels{end + 1} = sprintf('mean of %d runs', n);
    end
    hold off;
    box on;
    ylabel([model.monitored{i} ' (count)'], 'Interpreter', 'none');
    title(sprintf('%s, parameter set %d', model.monitored{i}, opts.set), 'Interpreter', 'none');
    xlabel('time');
    lg = legend(handles, labels, 'Location', 'northeastoutside');
    % A legend outside the axes makes room for itself by growing the axes
    % over the margins kept for the titles; the axes get their place back,
    % and the legend goes next to their top right corner.
    set(ax, 'Position', pos);
    lpos = get(lg, 'Position');
    set(lg, 'Position', [pos(1) + pos(3) + 0.02, pos(2) + pos(4) - lpos(4), lpos(3), lpos(4)]);
  end
  if ~isempty(opts.png)
    print(fig, opts.png, '-dpng', '-r90');
  end
end
