function ai = propensities(rxns, counts, volume)
  % Output 2 of a recompute call ("update" 1) under the direct method, which
  % draws nothing: every reaction's propensity at the given counts.
  p = tamrin_params('update', 1, 'volume', volume);
  out = run8(rxns, [], counts, p, []);
  ai = out{2};
end
