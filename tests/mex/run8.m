function out = run8(varargin)
  % Calls tamrin with the given inputs and returns its eight outputs as a cell.
  out = cell(1, 8);
  [out{:}] = tamrin(varargin{:});
end
