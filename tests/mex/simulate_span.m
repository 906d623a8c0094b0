function [out, rxns, counts] = simulate_span(rxns, counts, p, monit, start_time, timestep)
  % One simulating call over [start_time, start_time + timestep]; returns the
  % outputs and the reactions and counts to continue from.
  p.update = 0;
  p.start_time = start_time;
  p.timestep = timestep;
  out = run8(rxns, [], counts, p, monit);
  rxns = pass_back(rxns, out{2}, out{3});
  counts = counts + out{1};
end
