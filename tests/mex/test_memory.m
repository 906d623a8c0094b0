% Nothing a call allocates outlives it, also when an error ends the call in
% the middle: the gateway's arrays are released as the error unwinds.
% A reaction with 200000 substrate rows makes every call build (and drop)
% about 1.6 MB of lists before the bad reaction after it fails the call;
% 300 such calls would keep about 480 MB if the lists were not released.
m = 200000;
big = struct('type', 'transv1', 'substrates', repmat([0 1], m, 1), 'products', [1 1], 'StoP', 1);
bad = {big, struct('type', 'transv1', 'substrates', [0 1; 7 1], 'products', [1 1], 'StoP', 1)};
counts = [10; 10; 10];
p = tamrin_params('update', 1);
for i = 1:20  % warm up the interpreter's own caches
  try, run8(bad, [], counts, p, []); catch, end
end
before = rss_kib();
if isnan(before)
  disp('test_memory: no resident-size information here; skipped');
  return;
end
for i = 1:300
  try
    run8(bad, [], counts, p, []);
    error('tamrin_test:noError', 'bad network accepted');
  catch err
    assert(strcmp(err.identifier, 'tamrin:badSpecies'), err.identifier);
  end
end
growth_mib = (rss_kib() - before) / 1024;
printf('test_memory: resident size grew by %.1f MiB over 300 failed calls\n', growth_mib);
assert(growth_mib < 40, sprintf('resident size grew by %.1f MiB', growth_mib));
disp('test_memory: ok');
