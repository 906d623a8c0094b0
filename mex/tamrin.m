% TAMRIN  Stochastic simulation of a well-mixed chemical reaction network.
%
%   [DX, AI, TIME, FIRED, EV_T, EV_R, MON, FIR] = TAMRIN(RXNS, ANY, X0, PAR, MONIT)
%
%   Every call builds the network afresh from its inputs and then, by
%   PAR.update, simulates a span of time or (re)computes the propensities
%   and the next event.  Only the random generator and the next event of
%   the exact methods are kept from one call to the next; to continue a
%   simulation, pass the new counts (X0 + DX) and the outputs AI and TIME
%   back in through X0 and the reactions' "ai" and "time" fields.
%   Exactly five inputs and eight outputs are required.
%
%   Species and reactions are numbered by position from 0 in every input
%   (the first species is 0); reaction numbers in the outputs count from 1.
%   Values that go into integers are truncated toward zero.
%
% Inputs
%   RXNS   cell array, one 1-by-1 structure per reaction (fields below).
%   ANY    not read; pass [].
%   X0     column vector of initial molecule counts, one row per species.
%   PAR    parameter structure (fields below).
%   MONIT  row vector of the positions of the species to record in MON,
%          in that order (positions from numel(X0) on are the rules of
%          PAR.rules); may be [].
%
% Reaction structure
%   type        reaction type: 'binding', 'unique-bi-bi', 'unbinding',
%               'uni-uni', 'uni-multi', 'homo-ltor', 'transv1', 'genmm',
%               'n-order', 'undef' or 'formula' (a name of none of these, or longer
%               than 83 characters - which draws a warning - reads as
%               'binding').
%   substrates  one row per substrate: [position] for the first six types,
%               [position coefficient] for 'transv1', 'genmm' and 'undef',
%               [position coefficient exponent] for 'n-order' (exponents
%               are truncated to whole numbers).
%   products    one row per product: [position], or [position coefficient]
%               for 'uni-multi' and the last four types.  A reaction without
%               this field has no rate constants at all (its "StoP" is not
%               read) and is refused; give a pure sink products = [].
%   StoP        rate constants: a single number for the first six types
%               (a column's rows count as constants for them), a row vector
%               for the others: 'genmm' one per substrate, 'n-order'
%               [k0 order].
%   formula     ('undef' only, required) stored text; the propensity of an
%               'undef' reaction is the built-in formula selected by its
%               position in RXNS.
%               For type 'formula' (required): the propensity as text,
%               e.g. 'Vmax*x0/(Km + x0)', reading the species by position as
%               x0, x1, ..., the named parameters of PAR.parameters and
%               'volume', with + - * / ^, parentheses, exp, log (natural),
%               ln, log10, sqrt, pow, abs, floor, ceil, min, max,
%               comparisons, && || !, if(c, a, b) and piecewise(v1, c1,
%               ..., otherwise).  Its substrates [position coefficient] and
%               products [position coefficient] say what a firing changes
%               (either may be empty); it reads no "StoP".  A value that is
%               negative, NaN or infinite is a fault of the model.
%   ai, time    optional: the reaction's propensity and tentative firing
%               time, as returned in AI and TIME by the previous call.
%
%   'binding' and 'homo-ltor' need two substrates and one product,
%   'unique-bi-bi' two substrates, 'unbinding' one substrate and two
%   products, 'uni-uni' one of each, 'uni-multi', 'transv1' and 'genmm' at
%   least one substrate.
%
% Parameter structure (every field required; "tau_error" only for
% tau-leaping)
%   start_time          time at which the call starts.
%   timestep            span of time the call simulates (0 or more).
%   volume              reaction volume; bimolecular and higher-order
%                       constants are divided by it.
%   stoch_algor         2 direct method, 3 tau-leaping, any other value
%                       first-reaction selection.
%   randseed            seed, used when update is 2: 1 .. 2147483398.
%   snapshot_interval   time between two columns of MON and FIR (above 0).
%   evlog_flag          1 to log every firing in EV_T and EV_R.
%   eventlog_arraysize  capacity of the event log: rows of EV_T and EV_R.
%   update              what the call does (compared exactly):
%                         0  simulate from start_time to
%                            start_time + timestep, continuing from the
%                            given counts, ai, time and the kept next event
%                            (drawn afresh from the counts when it cannot
%                            fire: first call of a session, a count set to
%                            0 between calls, ai not of these counts);
%                         2  seed the generator with randseed, compute every
%                            propensity and draw the next event;
%                         1  recompute every propensity (and, for
%                            first-reaction selection, every tentative time)
%                            and nothing else;
%                         any other value: recompute and draw the next
%                            event, without seeding.
%   tau_error           error bound of the leap selection (stoch_algor 3).
%   method              optional: 'cr' runs the exact simulation of a
%                       simulating call by composition-rejection (state
%                       rebuilt from the ai inputs every call; another
%                       random stream than the defined methods);
%                       absent or 'direct' keeps the defined methods.
%   parameters          optional: a 1-by-1 structure of the named
%                       parameters of 'formula' reactions, e.g.
%                       struct('Vmax', 10, 'Km', 50).
%   rules               optional: a 1-by-1 structure of assignment rules,
%                       name -> expression text, e.g. struct('total',
%                       'x0 + x1'), usable by name in formulas and
%                       monitored through MONIT: position
%                       numel(X0) + r - 1 is the r-th rule, whose row in
%                       MON is its value (not a change).
%   events              optional: a structure array, one element per event
%                       (a change of the state at a moment), with the texts
%                       of a model file's events section:
%                         trigger     'at T', 'at T every P' (at T + k*P)
%                                     or 'when <condition>' (fires when the
%                                     condition turns from false to true)
%                         assign      cell array of 'target = expression'
%                                     texts; a target is a species x0, x1,
%                                     ... or a field of PAR.parameters
%                         priority    optional expression: of the events
%                                     due at one instant, higher first
%                                     (else in the order of PAR.events)
%                         delay       optional expression: execution at
%                                     trigger time + delay
%                         values      optional 'fire' (default: values
%                                     computed at execution) or 'trigger'
%                         initial     optional ('when' only): the
%                                     condition's value just before the
%                                     start, default true
%                         persistent  optional, default true; false
%                                     cancels a delayed execution when the
%                                     condition turns false before it
%                         name        optional text, for messages
%                       Expressions read x0, x1, ..., the named parameters,
%                       the rules and 'volume' as formulas do.  An event
%                       execution is logged in EV_T / EV_R with the number
%                       -k for the k-th event.  A bad event raises
%                       'tamrin:badEvent' naming PAR.events(k) and the
%                       field; an event that sets a species to a value that
%                       is not a count (or a parameter to one that is not
%                       finite) raises 'tamrin:runFault'.
%                       The run state of the events (condition values, next
%                       times of 'at'/'every' triggers, pending delayed
%                       executions, parameter values they changed) is kept
%                       between calls with the next event: an initialising
%                       call (update 2) starts it at start_time - executing
%                       the events due there, whose changes it returns in
%                       DX (add DX to the counts before the next call) -
%                       and every simulating call goes on from it, so a run
%                       continued across calls executes its events exactly
%                       as one call would.  A simulating call with events
%                       but no kept state of them (no initialising call of
%                       a network with as many events and parameters)
%                       starts them at its own start.
%
% Outputs (real double matrices)
%   DX     species-by-1: change of every count during the call.
%   AI     reactions-by-1: every reaction's propensity at the end.
%   TIME   reactions-by-1: every reaction's tentative firing time.
%   FIRED  reactions-by-1: firings of every reaction during the call.
%   EV_T   eventlog_arraysize-by-1: time of each logged firing, in order.
%   EV_R   eventlog_arraysize-by-1: reaction number (from 1) of each;
%          -k for an execution of the k-th event of PAR.events.
%   MON    (numel(MONIT)+1)-by-P, P = fix(timestep / snapshot_interval) or
%          1 when that is 0: one column per snapshot, the simulation time,
%          then the change of each monitored species since the call began.
%   FIR    (reactions+1)-by-P: the same times, then every reaction's
%          firings since the previous column.
%   Only update 0 fills DX, FIRED and EV_T to FIR; the other modes return
%   them as zeros (but an initialising call with events returns the changes
%   and log entries of the events it executes at the start).  Snapshots fall on the multiples of snapshot_interval,
%   so a span that starts between two of them or is not a whole number of
%   intervals takes one snapshot more than P; it is left out of MON and FIR
%   with a warning.  When the event log fills, logging stops for the rest
%   of the call with a warning; the simulation goes on.
%
%   Errors carry identifiers 'tamrin:...' (for instance
%   'tamrin:missingField', 'tamrin:badSpecies', 'tamrin:badSeed') and name
%   the reaction, counted from 1, and the field.
%
% Example: A + B <-> AB, simulated over 0..30 in three calls
%   rxns = {struct('type', 'binding', 'substrates', [0; 1], ...
%                  'products', 2, 'StoP', 0.01), ...
%           struct('type', 'unbinding', 'substrates', 2, ...
%                  'products', [0; 1], 'StoP', 0.5)};
%   x = [300; 200; 0];                      % A, B, AB
%   par = struct('start_time', 0, 'timestep', 10, 'volume', 1, ...
%                'stoch_algor', 2, 'randseed', 4711, ...
%                'snapshot_interval', 1, 'evlog_flag', 0, ...
%                'eventlog_arraysize', 1, 'update', 2);
%   [dx, ai, t, n, et, er, mon, fir] = tamrin(rxns, [], x, par, [0 2]);
%   par.update = 0;
%   for k = 0:2
%     for i = 1:numel(rxns)             % continue from the last call
%       rxns{i}.ai = ai(i);
%       rxns{i}.time = t(i);
%     end
%     par.start_time = 10 * k;
%     [dx, ai, t, n, et, er, mon, fir] = tamrin(rxns, [], x, par, [0 2]);
%     plot(mon(1, :), x([1 3]) + mon(2:3, :)); hold on   % counts of A, AB
%     x = x + dx;
%   end
%
%   The same randseed with update 2 reproduces the whole run.
%
%   Part of plenta @PROJECT_VERSION@.
