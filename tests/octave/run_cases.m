function run_cases(cases_file, values_file, module, workdir)
% RUN_CASES  Runs the plug-in's case table in Octave on the real module.
%   Every invoked name of the table gets its own copy of MODULE in
%   WORKDIR, since Octave calls a MEX file by its file name. Errors are
%   caught and matched by text ("name: message"), printed text is
%   captured, and each value must equal, bit for bit, the one the host
%   tests got for the same case (VALUES_FILE, written by them).
%   Exits with status 1 if any case fails.
  cases = read_cases(cases_file);
  expected = read_values(values_file);

  [~, ~, ext] = fileparts(module);
  if ~exist(workdir, 'dir')
    mkdir(workdir);
  end
  names = unique({cases.invoked});
  for i = 1:numel(names)
    copyfile(module, fullfile(workdir, [names{i} ext]));
  end
  addpath(workdir);

  failed = 0;
  for c = cases
    problem = run_case(c, expected);
    if ~isempty(problem)
      failed = failed + 1;
      printf('FAIL line %d: %s [%s(%s)]\n     %s\n', c.line, c.name, ...
             c.invoked, c.args, problem);
    end
  end
  printf('%d of %d cases passed in Octave %s\n', numel(cases) - failed, ...
         numel(cases), OCTAVE_VERSION);
  exit(failed > 0);
end

function problem = run_case(c, expected)
  problem = '';
  args = eval(['{' c.args '}']);
  f = c.invoked;
  switch c.outcome
    case 'value'
      [printed, r, err] = call(f, args, c.outputs);
      if ~isempty(err)
        problem = ['error raised: ' err];
      elseif ~isempty(printed)
        problem = ['printed: ' printed];
      elseif ~(isa(r, 'double') && isreal(r) && isequal(size(r), [1 1]))
        problem = 'the result is not a 1 x 1 real double';
      elseif ~isfield(expected, key(c.name))
        problem = 'no value from the host tests';
      else
        want = expected.(key(c.name));
        if ~(isequal(typecast(r, 'uint64'), typecast(want, 'uint64')) ...
             || (isnan(r) && isnan(want)))
          problem = sprintf('value %.17g, host tests %.17g', r, want);
        end
      end
    case 'error'
      [~, ~, err] = call(f, args, c.outputs);
      want = [f ': ' c.message];
      if ~strcmp(err, want)
        problem = sprintf('error "%s", not "%s"', err, want);
      end
    case 'notfound'
      [printed, r, err] = call(f, args, 0);
      want = sprintf('Function ''%s'' not found in mex file\n', f);
      if ~isempty(err)
        problem = ['error raised: ' err];
      elseif ~isempty(r)
        problem = 'a result was returned';
      elseif ~strcmp(printed, want)
        problem = sprintf('printed "%s"', printed);
      else
        % Nothing is returned: asking for a result is Octave's error.
        [~, ~, err] = call(f, args, 1);
        if isempty(err)
          problem = 'a result was returned';
        end
      end
  end
end

% Calls f(args{:}) with nout outputs; returns what it printed, its result
% and the text of the error it raised ('' if none).
function [printed, r, err] = call(f, args, nout)
  printed = '';
  r = [];
  err = '';
  try
    if nout == 0
      % Without an output the result still lands in the first slot,
      % which Octave puts in ans.
      clear ans;
      printed = evalc('feval(f, args{:});');
      if exist('ans', 'var')
        r = ans;
      end
    else
      printed = evalc('r = feval(f, args{:});');
    end
  catch e
    err = e.message;
  end
end

function k = key(name)
  k = matlab.lang.makeValidName(name);
end

function cases = read_cases(file)
  fid = fopen(file, 'r');
  if fid < 0
    error('cannot read %s', file);
  end
  cases = struct('line', {}, 'name', {}, 'invoked', {}, 'args', {}, ...
                 'outputs', {}, 'outcome', {}, 'message', {});
  n = 0;
  while true
    line = fgetl(fid);
    if ~ischar(line)
      break;
    end
    n = n + 1;
    t = strtrim(line);
    if isempty(t) || t(1) == '#'
      continue;
    end
    f = strtrim(strsplit(line, '|'));
    if strncmp(f{2}, 'host:', 5)
      continue;  % stand-in host only
    end
    c.line = n;
    c.name = f{1};
    c.invoked = f{2};
    c.args = f{3};
    c.outputs = str2double(f{4});
    [c.outcome, rest] = strtok(f{5});
    c.message = strtrim(rest);
    cases(end + 1) = c;
  end
  fclose(fid);
end

function values = read_values(file)
  values = struct();
  fid = fopen(file, 'r');
  if fid < 0
    error('cannot read %s: run the host tests first', file);
  end
  while true
    line = fgetl(fid);
    if ~ischar(line)
      break;
    end
    f = strsplit(line, "\t");
    values.(key(f{1})) = str2double(f{2});
  end
  fclose(fid);
end
