function dx = net_change(rxns, counts, timestep)
  % Output 1 of an initialise call followed by one simulating call.
  p = tamrin_params('timestep', timestep);
  init = run8(rxns, [], counts, p, []);
  p.update = 0;
  out = run8(pass_back(rxns, init{2}, init{3}), [], counts, p, []);
  dx = out{1};
end
