function cols = read_trajectory(path)
  % A console trajectory file as one column per line (time, monitored
  % counts, firings since the previous line), header dropped.
  lines = strsplit(strtrim(fileread(path)), "\n");
  cols = [];
  for k = 2:numel(lines)
    cols(:, end + 1) = sscanf(lines{k}, '%f');
  end
end
