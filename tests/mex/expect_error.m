function err = expect_error(fn, id)
  % Runs fn, which must raise an error with identifier id; returns the error.
  try
    fn();
  catch err
    if ~strcmp(err.identifier, id)
      error('tamrin_test:wrongError', 'expected error %s, got %s: %s', id, ...
            err.identifier, err.message);
    end
    return;
  end
  error('tamrin_test:noError', 'expected error %s, but the call succeeded', id);
end
