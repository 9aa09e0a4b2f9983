function test_package(tarball, reference)
% TEST_PACKAGE  The Octave package, installed as a user installs it.
%   TEST_PACKAGE(TARBALL, REFERENCE) installs TARBALL with pkg into a fresh
%   temporary prefix, with package lists of its own there, so that no
%   package list of the user or of the system is read or written. It loads
%   the package and checks that the toolbox functions and the internal
%   functions come from the installed tree; runs the tests inside them
%   there; compares the values of a table of calls, bit for bit, with the
%   module in the folder REFERENCE (build/octave); then uninstalls the
%   package and checks that its files are gone. Needs the folder of this
%   file on the path. Exits with status 1 on failure.
  root = tempname();
  mkdir(root);
  pkg('prefix', fullfile(root, 'share'), fullfile(root, 'lib'));
  pkg('local_list', fullfile(root, 'local_packages'));
  pkg('global_list', fullfile(root, 'global_packages'));
  ok = false;
  unwind_protect
    pkg('install', '-local', tarball);
    pkg('load', 'arvel');
    ok = comes_from(root, {'entkl', 'mikl', 'miksg', 'cmiksg', ...
                           'entkl_internal', 'mikl_internal', ...
                           'miksg_internal', 'cmiksg_internal', 'arvel_demo'});
    ok = selftests({'entkl', 'mikl', 'miksg', 'cmiksg'}) && ok;
    installed = values();
    pkg('unload', 'arvel');

    addpath(reference);
    ok = comes_from(reference, {'entkl_internal', 'mikl_internal', ...
                                'miksg_internal', 'cmiksg_internal'}) && ok;
    built = values();
    rmpath(reference);
    same = arrayfun(@(a, b) isequal(typecast(a, 'uint64'), ...
                                    typecast(b, 'uint64')), installed, built);
    for i = find(~same)
      printf('FAIL value %d: installed %.17g, built %.17g\n', i, ...
             installed(i), built(i));
    end
    printf('%d of %d values of the installed module equal the built one''s\n', ...
           sum(same), numel(same));
    ok = all(same) && ok;

    info = pkg('list', 'arvel');
    folders = {info{1}.dir, info{1}.archprefix};
    pkg('uninstall', '-local', 'arvel');
    left = folders(cellfun(@(f) exist(f, 'dir') == 7, folders));
    if ~isempty(left) || ~isempty(pkg('list'))
      printf('FAIL after pkg uninstall: %s\n', strjoin(left, ' '));
      ok = false;
    end
  unwind_protect_cleanup
    confirm_recursive_rmdir(false, 'local');
    rmdir(root, 's');
  end_unwind_protect
  if ok
    printf('package %s: installed, tested and uninstalled\n', tarball);
  end
  exit(~ok);
end

% True if every function of NAMES is found under the folder ROOT.
function ok = comes_from(root, names)
  ok = true;
  for i = 1:numel(names)
    file = which(names{i});
    if ~strncmp(file, root, numel(root))
      printf('FAIL %s is %s, not under %s\n', names{i}, file, root);
      ok = false;
    end
  end
end

% The estimates of a table of calls of the internal functions: samples in
% one to three dimensions, duplicates, neighbour orders 1 to 4.
function v = values()
  X = U(500, 3, 21);
  Y = U(500, 3, 22);
  W = round(8 * X(:, 1:2));
  clear entkl_internal mikl_internal miksg_internal cmiksg_internal;  % the module of the current path
  v = [entkl_internal(X(:, 1)), entkl_internal(X(:, 1:2), 2), ...
       entkl_internal(X, 4), entkl_internal(W, 3), ...
       mikl_internal(X(:, 1), Y(:, 1)), mikl_internal(X(:, 1:2), Y(:, 1:2), 3), ...
       mikl_internal(X, X + Y / 10, 2), mikl_internal(W, Y(:, 1:2)), ...
       miksg_internal(X(:, 1), Y), miksg_internal(W, Y(:, 1), 4), ...
       cmiksg_internal(X(:, 1), Y(:, 1), X(:, 2:3)), cmiksg_internal(W, Y(:, 2), X(:, 3), 2)];
end
