function test_toolbox()
% TEST_TOOLBOX  The toolbox functions around the plug-in's entry points:
%   they take real numeric input of any class as double, pass k on, and
%   leave the plug-in's own errors as they are. Exits with status 1 on a
%   failure.
  X = U(200, 2, 11);
  Y = U(200, 2, 12);
  S = single(X);
  checks = {
    'entkl single',  entkl(S),                entkl_internal(double(S))
    'entkl int32',   entkl(int32(X * 100), 2), entkl_internal(round(X * 100), 2)
    'entkl sparse',  entkl(sparse(X), 3),     entkl_internal(X, 3)
    'entkl k class', entkl(X, int8(4)),       entkl_internal(X, 4)
    'mikl',          mikl(X, Y),              mikl_internal(X, Y)
    'mikl k',        mikl(X, S, 5),           mikl_internal(X, double(S), 5)
  };
  failed = 0;
  for i = 1:rows(checks)
    [name, got, want] = checks{i, :};
    if ~isequal(typecast(got, 'uint64'), typecast(want, 'uint64'))
      printf('FAIL %s: %.17g, not %.17g\n', name, got, want);
      failed = failed + 1;
    end
  end
  errors = {
    'complex passes to the plug-in', @() entkl(complex(X, X)), ...
        'entkl_internal: Inputs must be real full double matrices'
    'k too large', @() mikl(X, Y, 200), ...
        'mikl_internal: Nearest neighbour must be lower than sample size'
    'too few arguments', @() mikl(X), 'narginchk: not enough input arguments'
  };
  for i = 1:rows(errors)
    [name, f, want] = errors{i, :};
    try
      f();
      got = '';
    catch e
      got = e.message;
    end
    if ~strcmp(got, want)
      printf('FAIL %s: "%s"\n', name, got);
      failed = failed + 1;
    end
  end
  printf('%d of %d toolbox checks passed\n', ...
         rows(checks) + rows(errors) - failed, rows(checks) + rows(errors));
  exit(failed > 0);
end
