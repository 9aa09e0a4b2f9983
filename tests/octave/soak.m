function soak(calls, margin_kib)
% SOAK  Many calls of the plug-in in one Octave session.
%   SOAK(CALLS, MARGIN_KIB) makes CALLS calls (default 20000) of
%   entkl_internal, mikl_internal, miksg_internal and cmiksg_internal,
%   valid and invalid, with sample sets
%   of a few to some ten thousand rows, and of a copy of the module under a
%   name it does not provide. Resident memory (VmRSS) is read once the
%   session has settled after a warm-up, then after every tenth of the
%   calls; at the end it must be within MARGIN_KIB (default 4096) of the
%   settled figure. Every valid call must return a real double scalar and
%   every invalid one must raise an error. Then 200000 calls on the
%   smallest samples must grow it by at most 1 MiB. Needs the module folder
%   on the path. Exits with status 1 on failure.
  if nargin < 1
    calls = 20000;
  end
  if nargin < 2
    margin_kib = 4096;
  end
  rand('state', 11);

  % A copy under a name the module does not provide: it prints, not raises.
  module = which('entkl_internal');
  [~, ~, ext] = fileparts(module);
  folder = tempname();
  mkdir(folder);
  copyfile(module, fullfile(folder, ['arvel_soak_other' ext]));
  addpath(folder);

  t0 = tic();
  anomalies = run_calls(3000);
  settled = vmrss_kib();
  figures = zeros(1, 10);
  for block = 1:10
    anomalies = anomalies + run_calls(ceil(calls / 10));
    figures(block) = vmrss_kib();
  end
  seconds = toc(t0);

  growth = figures(end) - settled;
  printf('soak: %d calls (after 3000 of warm-up) in %.1f s\n', ...
         10 * ceil(calls / 10), seconds);
  printf('VmRSS settled after warm-up: %d KiB\n', settled);
  printf('VmRSS after each tenth:      %s KiB\n', sprintf('%d ', figures));
  printf('growth %d KiB (margin %d KiB), peak %d KiB, %d anomalies\n', ...
         growth, margin_kib, max(figures), anomalies);

  % Then many of the smallest calls, where a few bytes kept per call show
  % above the noise: 200000 calls keeping 8 bytes each would grow by some
  % 6 MiB.
  small = [1; 2; 4; 8];
  other = [3; 1; 2; 5];
  before = vmrss_kib();
  t1 = tic();
  for i = 1:100000
    entkl_internal(small);
    mikl_internal(small, other, 1);
  end
  small_growth = vmrss_kib() - before;
  small_margin = 1024;
  printf('200000 small calls in %.1f s: growth %d KiB (margin %d KiB)\n', ...
         toc(t1), small_growth, small_margin);

  rmpath(folder);
  confirm_recursive_rmdir(false, 'local');
  rmdir(folder, 's');
  failed = growth > margin_kib || small_growth > small_margin || anomalies > 0;
  if failed
    printf('FAIL: soak\n');
  end
  exit(failed);
end

function kib = vmrss_kib()
  status = fileread('/proc/self/status');
  kib = str2double(regexp(status, 'VmRSS:\s*(\d+)', 'tokens', 'once'){1});
end

% COUNT calls of every kind; returns how many did not end as they must.
function anomalies = run_calls(count)
  anomalies = 0;
  for i = 1:count
    r = rand();
    if r < 0.25
      n = sample_rows();
      x = rand(n, randi(4));
      anomalies = anomalies + ~returns(@entkl_internal, x, k_args(n));
    elseif r < 0.33
      % KSG: 3 neighbours by default, so at least 4 rows.
      n = max(sample_rows(), 4);
      x = rand(n, randi(3));
      y = x(:, 1) + 0.1 * rand(n, randi(2));
      anomalies = anomalies + ~returns(@miksg_internal, x, y, k_args(n));
    elseif r < 0.40
      n = max(sample_rows(), 4);
      z = rand(n, randi(2));
      x = z(:, 1) + rand(n, 1);
      y = x + rand(n, randi(2));
      anomalies = anomalies + ~returns(@cmiksg_internal, x, y, z, k_args(n));
    elseif r < 0.50
      n = sample_rows();
      d = randi(3);
      x = rand(n, d);
      y = x + 0.1 * rand(n, d);
      anomalies = anomalies + ~returns(@mikl_internal, x, y, k_args(n));
    elseif r < 0.60
      % Exact duplicates, all-equal columns, NaN and Inf.
      n = 2 + randi(300);
      x = round(4 * rand(n, 2));
      x(:, 2) = 3;
      if rand() < 0.3
        x(randi(n), 1) = NaN;
      elseif rand() < 0.3
        x(randi(n), 1) = Inf;
      end
      anomalies = anomalies + ~returns(@entkl_internal, x, k_args(n));
    elseif r < 0.98
      anomalies = anomalies + ~raises(invalid_call());
    else
      text = evalc('arvel_soak_other(rand(10, 2))');
      anomalies = anomalies + isempty(strfind(text, 'not found'));
    end
  end
end

% Mostly small sets, now and then large ones, so that both the small and
% the large allocations of the module come and go.
function n = sample_rows()
  sizes = [2 3 10 40 200 1000 5000 20000];
  weights = [5 5 20 20 30 15 4 1];
  n = sizes(find(rand() * sum(weights) < cumsum(weights), 1));
end

function args = k_args(n)
  if rand() < 0.5 || n < 2
    args = {};
  else
    args = {randi(min(n - 1, 12))};
  end
end

function ok = returns(f, varargin)
  args = varargin;
  if iscell(args{end})
    args = [args(1:end-1), args{end}];
  end
  try
    v = f(args{:});
    ok = isa(v, 'double') && isreal(v) && isscalar(v);
  catch
    ok = false;
  end
end

function ok = raises(c)
  try
    c{1}(c{2:end});
    ok = false;
  catch err
    ok = ~isempty(strfind(err.message, '_internal: '));
  end
end

% A call that must be refused, with its arguments: {function, args...}.
function c = invalid_call()
  x = rand(20, 2);
  switch randi(18)
    case 1,  c = {@entkl_internal};
    case 2,  c = {@entkl_internal, x, 1, 2};
    case 3,  c = {@mikl_internal, x};
    case 4,  c = {@mikl_internal, x, rand(21, 2)};
    case 5,  c = {@entkl_internal, single(x)};
    case 6,  c = {@entkl_internal, int32(x)};
    case 7,  c = {@entkl_internal, complex(x, x)};
    case 8,  c = {@entkl_internal, sparse(x)};
    case 9,  c = {@entkl_internal, x, 0};
    case 10, c = {@entkl_internal, x, 20};
    case 11, c = {@entkl_internal, x, NaN};
    case 12, c = {@mikl_internal, x, x, []};
    case 13, c = {@entkl_internal, zeros(0, 3)};
    case 14, c = {@miksg_internal, x, rand(21, 1)};
    case 15, c = {@miksg_internal, x, single(x), 2};
    case 16, c = {@cmiksg_internal, x, x};
    case 17, c = {@cmiksg_internal, x, x, zeros(20, 0)};
    otherwise, c = {@entkl_internal, 'text'};
  end
end
