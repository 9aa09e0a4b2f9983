function test_toolbox()
% TEST_TOOLBOX  The toolbox functions around the plug-in's entry points.
%   Input of every real numeric class and logical, full or sparse, reaches
%   the plug-in as double, in every argument position, and gives the bits
%   of the internal function on those doubles. Anything else, and any
%   number of arguments, reaches the plug-in unchanged, so that its own
%   message stands. Exits with status 1 on a failure.
  X = U(200, 2, 11);
  Y = U(200, 2, 12);
  % Whole numbers 0 ... 100, which every numeric class holds exactly; they
  % have duplicates, so zero distances are part of the comparison.
  W = round(100 * X);

  kinds = {'double', 'single', 'int8', 'uint8', 'int16', 'uint16', ...
           'int32', 'uint32', 'int64', 'uint64'};
  samples = cellfun(@(c) cast(W, c), kinds, 'UniformOutput', false);
  orders = cellfun(@(c) cast(3, c), kinds, 'UniformOutput', false);
  kinds = [kinds, {'logical', 'sparse double', 'sparse logical'}];
  samples = [samples, {X > 0.5, sparse(W), sparse(X > 0.5)}];
  orders = [orders, {true, sparse(3), sparse(true)}];

  checks = {};
  for i = 1:numel(kinds)
    S = samples{i};
    D = full(double(S));
    k = full(double(orders{i}));
    checks(end + 1, :) = {['entkl X ' kinds{i}], entkl(S), entkl_internal(D)};
    checks(end + 1, :) = {['entkl k ' kinds{i}], entkl(X, orders{i}), ...
                          entkl_internal(X, k)};
    checks(end + 1, :) = {['mikl X ' kinds{i}], mikl(S, Y), mikl_internal(D, Y)};
    checks(end + 1, :) = {['mikl Y ' kinds{i}], mikl(X, S, 2), ...
                          mikl_internal(X, D, 2)};
    checks(end + 1, :) = {['mikl k ' kinds{i}], mikl(X, Y, orders{i}), ...
                          mikl_internal(X, Y, k)};
    checks(end + 1, :) = {['miksg X ' kinds{i}], miksg(S, Y(:, 1)), ...
                          miksg_internal(D, Y(:, 1))};
    checks(end + 1, :) = {['miksg k ' kinds{i}], miksg(X, Y, orders{i}), ...
                          miksg_internal(X, Y, k)};
    checks(end + 1, :) = {['cmiksg Z ' kinds{i}], cmiksg(X(:, 1), Y, S), ...
                          cmiksg_internal(X(:, 1), Y, D)};
    checks(end + 1, :) = {['cmiksg k ' kinds{i}], cmiksg(X, Y, W, orders{i}), ...
                          cmiksg_internal(X, Y, W, k)};
  end
  failed = 0;
  for i = 1:rows(checks)
    [name, got, want] = checks{i, :};
    if ~(isa(got, 'double') && isequal(typecast(got, 'uint64'), ...
                                       typecast(want, 'uint64')))
      printf('FAIL %s: %.17g, not %.17g\n', name, got, want);
      failed = failed + 1;
    end
  end

  real_double = 'Inputs must be real full double matrices';
  errors = {
    @() entkl(),                  'entkl_internal: Number of parameters must be 1 or 2'
    @() entkl(X, 1, 2),           'entkl_internal: Number of parameters must be 1 or 2'
    @() mikl(X),                  'mikl_internal: Number of parameters must be 2 or 3'
    @() mikl(X, Y, 1, 2),         'mikl_internal: Number of parameters must be 2 or 3'
    @() entkl(complex(X, X)),     ['entkl_internal: ' real_double]
    @() entkl(sparse(complex(X, X))), ['entkl_internal: ' real_double]
    @() entkl('text'),            ['entkl_internal: ' real_double]
    @() entkl(X, '3'),            ['entkl_internal: ' real_double]
    @() mikl(X, struct('y', Y)),  'mikl_internal: Size of matrices must be the same'
    @() mikl({X}, {Y}),           ['mikl_internal: ' real_double]
    @() mikl(X, Y, 200),          'mikl_internal: Nearest neighbour must be lower than sample size'
    @() miksg(X),                 'miksg_internal: Number of parameters must be 2 or 3'
    @() miksg(X, Y(1:10, :)),     'miksg_internal: Matrices must have the same number of rows'
    @() miksg(X, num2cell(Y(:, 1))), ['miksg_internal: ' real_double]
    @() cmiksg(X, Y),             'cmiksg_internal: Number of parameters must be 3 or 4'
    @() cmiksg(X, Y, 'z'),        'cmiksg_internal: Matrices must have the same number of rows'
    @() cmiksg(X, Y, complex(X, X)), ['cmiksg_internal: ' real_double]
    @() cmiksg(X, Y, X, 0),       'cmiksg_internal: Nearest neighbour must be at least 1'
  };
  for i = 1:rows(errors)
    [f, want] = errors{i, :};
    try
      f();
      got = '';
    catch e
      got = e.message;
    end
    if ~strcmp(got, want)
      printf('FAIL %s: "%s", not "%s"\n', func2str(f), got, want);
      failed = failed + 1;
    end
  end
  printf('%d of %d toolbox checks passed\n', ...
         rows(checks) + rows(errors) - failed, rows(checks) + rows(errors));
  exit(failed > 0);
end
