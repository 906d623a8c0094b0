% Argument counts are checked first, inputs before outputs, and nothing is
% read before: the inputs here are not even valid.
try
  [a, b, c, d, e, f, g, h] = tamrin(1, 2, 3, 4);
  error('tamrin_test:noError', 'four inputs accepted');
catch err
  assert(strcmp(err.identifier, 'tamrin:numInputs'), err.identifier);
  assert(ends_with(err.message, 'Five input arguments required.'), err.message);
end
try
  [a, b, c, d, e, f, g] = tamrin(1, 2, 3, 4, 5);
  error('tamrin_test:noError', 'seven outputs accepted');
catch err
  assert(strcmp(err.identifier, 'tamrin:numOutputs'), err.identifier);
  assert(ends_with(err.message, 'Eight output arguments required.'), err.message);
end
% Both wrong: only the first is reported.
try
  [a, b, c, d, e, f, g] = tamrin(1, 2, 3, 4);
  error('tamrin_test:noError', 'four inputs and seven outputs accepted');
catch err
  assert(strcmp(err.identifier, 'tamrin:numInputs'), err.identifier);
  assert(ends_with(err.message, 'Five input arguments required.'), err.message);
  assert(isempty(strfind(err.message, 'Eight')), err.message);
end
try
  tamrin();
  error('tamrin_test:noError', 'no inputs accepted');
catch err
  assert(strcmp(err.identifier, 'tamrin:numInputs'), err.identifier);
end

% Input 2 is not read: anything there gives the same result.
[rxns, counts] = dimer_network();
p = tamrin_params();
ref = run8(rxns, [], counts, p, [0 2]);
for unused = {[], 'text', {1, 2}, struct('x', 1), magic(4)}
  out = cell(1, 8);
  [out{:}] = tamrin(rxns, unused{1}, counts, p, [0 2]);
  assert(isequal(out, ref), 'input 2 changed the result');
end
disp('test_arguments: ok');
