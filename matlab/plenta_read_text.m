function text = plenta_read_text(file, what)
%PLENTA_READ_TEXT  The whole text of one of plenta's files, as a char row.
%   TEXT = PLENTA_READ_TEXT(FILE, WHAT) raises plenta:cantOpen, naming FILE
%   and what it should be (WHAT), when the file cannot be read.  Used by the
%   other plenta_read_* functions.
  f = fopen(file, 'r');
  if f < 0
    error('plenta:cantOpen', '%s: cannot open the %s file', file, what);
  end
  text = fread(f, Inf, '*char').';
  fclose(f);
end
