% A stop of the random library inside a MEX call becomes an error of that
% call; Octave and the gateway go on working.
[rxns, counts] = dimer_network();
p = tamrin_params();
ref = run8(rxns, [], counts, p, [0 1 2]);

tamrin_exit_probe(12345);  % a valid seed: no error
err = expect_error(@() tamrin_exit_probe(0), 'tamrin:randomLibrary');
assert(~isempty(strfind(err.message, 'status 1')), err.message);
expect_error(@() tamrin_exit_probe(-5), 'tamrin:randomLibrary');
tamrin_exit_probe(7);  % the guard was removed and re-installed: still no error

% The gateway refuses such seeds itself before seeding.
for seed = [0, -1, 0.5, 2147483399, 3e9, NaN, Inf]
  expect_error(@() run8(rxns, [], counts, tamrin_params('randseed', seed), [0 1 2]), 'tamrin:badSeed');
  % ... and the next call works and is unaffected.
  assert(isequal(run8(rxns, [], counts, p, [0 1 2]), ref), 'call after a refused seed');
end
% The largest seed both components accept is taken; seeds are truncated.
run8(rxns, [], counts, tamrin_params('randseed', 2147483398), [0 1 2]);
run8(rxns, [], counts, tamrin_params('randseed', 1.9), [0 1 2]);
% The seed is only checked where it is used, by an initialising call.
for u = [0 1 0.5]
  run8(pass_back(rxns, ref{2}, ref{3}), [], counts, tamrin_params('randseed', 0, 'update', u), [0 1 2]);
end
disp('test_random_guard: ok');
