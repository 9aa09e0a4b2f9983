function ok = selftests(names)
% SELFTESTS  Runs the tests inside the files of the functions NAMES (a cell
%   of names, each found on the path, as "test NAME" does) and prints what
%   fails and a count for each file. OK is false if any test fails or a
%   file has none.
  ok = true;
  for i = 1:numel(names)
    [passed, total] = test(names{i}, 'quiet', stdout);
    printf('%s: %d of %d tests passed (%s)\n', names{i}, passed, total, ...
           which(names{i}));
    ok = ok && total > 0 && passed == total;
  end
end
