function [rxns, counts] = dimer_network()
  % A + B <-> AB: species A = 0, B = 1, AB = 2 (positions counted from 0).
  rxns = {struct('type', 'binding', 'substrates', [0; 1], 'products', 2, 'StoP', 0.01), ...
          struct('type', 'unbinding', 'substrates', 2, 'products', [0; 1], 'StoP', 0.5)};
  counts = [300; 200; 0];
end
