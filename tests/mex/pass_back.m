function rxns = pass_back(rxns, ai, time)
  % Hands a call's propensities (output 2) and tentative times (output 3)
  % back to the reaction structures for the next call.
  for i = 1:numel(rxns)
    rxns{i}.ai = ai(i);
    rxns{i}.time = time(i);
  end
end
