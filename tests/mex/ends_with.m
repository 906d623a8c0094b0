function ok = ends_with(text, tail)
  % Whether text ends with tail (Octave prefixes MEX messages with the
  % function name, MATLAB does not).
  ok = numel(text) >= numel(tail) && strcmp(text(end - numel(tail) + 1:end), tail);
end
