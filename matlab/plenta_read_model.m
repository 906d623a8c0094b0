function model = plenta_read_model(folder)
%PLENTA_READ_MODEL  The names and settings of a plenta model folder.
%   MODEL = PLENTA_READ_MODEL(FOLDER) reads FOLDER/constants.txt and the
%   model file it names, and returns a struct with the fields
%
%   data_dir          the data directory (line 1 of constants.txt, relative
%                     to FOLDER when it is not absolute), ending in '/' (or
%                     in '\' when the line holds no slash, as plenta does)
%   model_path        the model file
%   traj_base         data_dir + trajectory base name (files <traj_base>_<run>)
%   summary_path      data_dir + summary file name
%   evlog_base        data_dir + event-log base name (files <evlog_base>_<run>_<k>)
%   num_sets, num_rxns, num_cmpds   the header's numbers
%   species           1 x num_cmpds cell array of species names, in file order
%   initial_counts    1 x num_cmpds initial counts as read
%   monit             1 x num_monit monitored species positions (from 0)
%   monitored         1 x num_monit cell array of their names
%   time_start, time_end, snapshot_interval, algorithm
%   num_repeats       1 x num_sets, the runs of each parameter set
%
%   It reads only what the result files need: the header, the species and
%   the keyed parameter lines; it does not check the reactions.
%
%   See also PLENTA_PLOT, PLENTA_READ_TRAJECTORY.

  lines = regexp(plenta_read_text(fullfile(folder, 'constants.txt'), 'constants.txt'), ...
                 '\r?\n', 'split');
  dir_line = lines{1};
  rest = strtrim(strjoin(lines(2:end), ' '));
  name = regexp(rest, '^\S+', 'match', 'once');
  if isempty(name)
    error('plenta:format', '%s: constants.txt names no model file', folder);
  end
  % The program appends a slash to a directory line holding one, and joins
  % every file name to the result as it is.
  if any(dir_line == '/')
    data_dir = [dir_line '/'];
  else
    data_dir = [dir_line '\'];
  end
  if isempty(dir_line) || dir_line(1) ~= '/'
    data_dir = [folder '/' data_dir];
  end
  model.data_dir = data_dir;
  model.model_path = [data_dir name];
  text = plenta_read_text(model.model_path, 'model');

  head = regexp(text, '^\s*(\S+)\s+(\S+)\s+(\S+)', 'tokens', 'once');
  if isempty(head)
    error('plenta:format', '%s: no three output names at the top', model.model_path);
  end
  model.traj_base = [data_dir head{1}];
  model.summary_path = [data_dir head{2}];
  model.evlog_base = [data_dir head{3}];
  model.num_sets = keyed(text, 'num_sets', model.model_path);
  model.num_rxns = keyed(text, 'num_rxns', model.model_path);
  model.num_cmpds = keyed(text, 'num_cmpds', model.model_path);

  % The species follow the eight header lines: name and count pairs.
  all_lines = regexp(text, '\n', 'split');
  after = strjoin(all_lines(9:end), char(10));
  words = regexp(after, '\S+', 'match');
  n = model.num_cmpds;
  if numel(words) < 2 * n
    error('plenta:format', '%s: fewer than %d species', model.model_path, n);
  end
  model.species = words(1:2:2 * n);
  model.initial_counts = str2double(words(2:2:2 * n));

  model.time_start = keyed(text, 'time_start', model.model_path);
  model.time_end = keyed(text, 'time_end', model.model_path);
  model.algorithm = keyed(text, 'algorithm', model.model_path);
  model.snapshot_interval = keyed(text, 'snapshot_interval', model.model_path);
  [num_monit, stop] = keyed(text, 'num_monit', model.model_path);
  model.monit = sscanf(text(stop + 1:end), '%d', num_monit).';
  if numel(model.monit) ~= num_monit
    error('plenta:format', '%s: fewer than %d monitored species', model.model_path, num_monit);
  end
  % A monitored position past the species is an assignment rule (in the
  % order of the "rules = n" section).
  names = model.species;
  [ntok, rstop] = regexp(text, '\nrules\s*=\s*(\d+)', 'tokens', 'end', 'once');
  if ~isempty(ntok)
    rule_lines = regexp(text(rstop + 1:end), '\n', 'split');
    rule_lines = rule_lines(2:end);
    for r = 1:min(str2double(ntok{1}), numel(rule_lines))
      names{end + 1} = strtrim(strtok(rule_lines{r}, '='));  %#ok<AGROW>
    end
  end
  if any(model.monit + 1 > numel(names))
    error('plenta:format', '%s: a monitored position is neither a species nor a rule', ...
          model.model_path);
  end
  model.monitored = names(model.monit + 1);
  reps = regexp(text, 'num_repeats\s*=\s*(-?\d+)', 'tokens');
  model.num_repeats = cellfun(@(c) str2double(c{1}), reps);
end

function [value, stop] = keyed(text, key, path)
  % The number after the first "key =" in the text, and where it ends.
  [tok, stop] = regexp(text, [key '\s*=\s*([-+0-9.eE]+)'], 'tokens', 'end', 'once');
  if isempty(tok)
    error('plenta:format', '%s: no "%s =" line', path, key);
  end
  value = str2double(tok{1});
end
