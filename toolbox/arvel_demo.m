function arvel_demo(png)
%ARVEL_DEMO  Entropy and mutual information of Gaussian samples.
%   ARVEL_DEMO estimates, from 100 to 100000 samples, the differential
%   entropy of Gaussian distributions in 1, 2 and 3 dimensions; the
%   mutual information of correlated Gaussian pairs in 1 and 2 dimensions,
%   independence included, by the three-entropy estimate (MIKL) and by the
%   KSG estimate (MIKSG); and the conditional mutual information (CMIKSG)
%   of a Gaussian chain X -> Z -> Y, whose truth is 0, and of X = Z + U,
%   Y = X + V, whose truth is log(2)/2. All with K = 3. It prints each
%   estimate beside the analytic value, in nats, and plots the error of
%   the estimates against the number of samples into the file
%   arvel_demo.png in the current folder.
%
%   ARVEL_DEMO(PNG) writes the plot to the file PNG.
%
%   The samples come from a fixed seed, so that a run prints what the last
%   one did (MATLAB's and Octave's generators differ, and so do their
%   figures). Each column of the table uses the first N samples of the
%   same draw.
%
%   See also ENTKL, MIKL, MIKSG, CMIKSG.
  if nargin < 1
    png = 'arvel_demo.png';
  end
  ns = [100 300 1000 3000 10000 30000 100000];
  k = 3;
  randn('state', 1);
  started = tic;

  % X = Z * A, Z standard normal in d dimensions:
  % H(X) = d/2 * (1 + log(2*pi)) + log|det A|.
  shapes = {1, 'd = 1, N(0, 1)'; [1 0; 0.5 2], 'd = 2, correlated'; ...
            diag([1 2 3]), 'd = 3, scaled axes'};
  entropy = struct('label', shapes(:, 2)', 'truth', 0, 'estimates', []);
  for s = 1:size(shapes, 1)
    A = shapes{s, 1};
    d = size(A, 2);
    X = randn(max(ns), d) * A;
    entropy(s).truth = d / 2 * (1 + log(2 * pi)) + log(abs(det(A)));
    entropy(s).estimates = arrayfun(@(n) entkl(X(1:n, :), k), ns);
  end

  % Coordinate j of Y is rho(j) X(:, j) + sqrt(1 - rho(j)^2) E(:, j), with
  % X and E standard normal: I(X;Y) = -sum(log(1 - rho.^2)) / 2.
  % Each pair is estimated both ways, by MIKL (KL) and MIKSG (KSG).
  correlations = {0, 'd = 1, rho = 0'; 0.5, 'd = 1, rho = 0.5'; ...
                  0.9, 'd = 1, rho = 0.9'; [0.6 0.8], 'd = 2, rho = 0.6, 0.8'};
  information = struct('label', {}, 'truth', {}, 'estimates', {});
  for c = 1:size(correlations, 1)
    rho = correlations{c, 1};
    d = numel(rho);
    X = randn(max(ns), d);
    Y = X .* repmat(rho, max(ns), 1) ...
        + randn(max(ns), d) .* repmat(sqrt(1 - rho.^2), max(ns), 1);
    truth = 0 - sum(log(1 - rho.^2)) / 2;  % 0, not -0, for rho = 0
    information(end + 1) = struct('label', ['KL  ' correlations{c, 2}], ...
      'truth', truth, 'estimates', ...
      arrayfun(@(n) mikl(X(1:n, :), Y(1:n, :), k), ns));
    information(end + 1) = struct('label', ['KSG ' correlations{c, 2}], ...
      'truth', truth, 'estimates', ...
      arrayfun(@(n) miksg(X(1:n, :), Y(1:n, :), k), ns));
  end

  % Conditional mutual information. Chain X -> Z -> Y (Z = X + U,
  % Y = Z + V): X and Y are independent given Z, I(X;Y|Z) = 0. Common
  % part (X = Z + U, Y = X + V, U, V, Z standard normal): given Z, X and Y
  % have correlation 1/sqrt(2), I(X;Y|Z) = log(2)/2.
  n = max(ns);
  conditional = struct('label', {}, 'truth', {}, 'estimates', {});
  X = randn(n, 1);
  Z = X + randn(n, 1);
  Y = Z + randn(n, 1);
  conditional(end + 1) = struct('label', 'chain X -> Z -> Y', 'truth', 0, ...
    'estimates', arrayfun(@(m) cmiksg(X(1:m), Y(1:m), Z(1:m), k), ns));
  Z = randn(n, 1);
  X = Z + randn(n, 1);
  Y = X + randn(n, 1);
  conditional(end + 1) = struct('label', 'X = Z + U, Y = X + V', ...
    'truth', log(2) / 2, ...
    'estimates', arrayfun(@(m) cmiksg(X(1:m), Y(1:m), Z(1:m), k), ns));
  seconds = toc(started);

  print_table(sprintf('Entropy H(X), nats, k = %d', k), entropy, ns);
  fprintf('\n');
  print_table(sprintf(['Mutual information I(X;Y), nats, k = %d: ' ...
                       'three entropies (KL) and KSG'], k), information, ns);
  fprintf('\n');
  print_table(sprintf('Conditional mutual information I(X;Y|Z), KSG, nats, k = %d', k), ...
              conditional, ns);
  fprintf('\n%d estimates from %d to %d samples in %.1f s\n', ...
          numel(ns) * (numel(entropy) + numel(information) + ...
                       numel(conditional)), min(ns), max(ns), seconds);

  plot_errors(png, ns, k, entropy, information, conditional);
  if isempty(fileparts(png))
    png = fullfile(pwd, png);
  end
  fprintf('Convergence plot: %s\n', png);
end

function print_table(title, rows, ns)
  fprintf('%s\n', title);
  fprintf('  %-26s %9s', 'n =', 'analytic');
  fprintf(' %8d', ns);
  fprintf('\n');
  for r = rows
    fprintf('  %-26s %9.4f', r.label, r.truth);
    fprintf(' %8.4f', r.estimates);
    fprintf('\n');
  end
end

% Estimate minus analytic value against n, on a log scale of n, one panel
% for the entropies, one for the mutual informations (KSG dashed) and one
% for the conditional mutual informations. Drawn off screen
% (Octave: with gnuplot, which needs no display) and printed as a PNG.
function plot_errors(png, ns, k, entropy, information, conditional)
  octave = exist('OCTAVE_VERSION', 'builtin') ~= 0;
  if octave
    % Its warning is about interactive windows, which this plot has none of.
    warning('off', 'Octave:gnuplot-graphics', 'local');
  end
  f = figure('visible', 'off');
  if octave && any(strcmp(available_graphics_toolkits(), 'gnuplot'))
    graphics_toolkit(f, 'gnuplot');
  end
  set(f, 'PaperUnits', 'inches', 'PaperPosition', [0 0 20 4.5]);
  panels = {entropy, 'Entropy'; information, 'Mutual information'; ...
            conditional, 'Conditional MI (KSG)'};
  colours = get(0, 'DefaultAxesColorOrder');
  for p = 1:3
    subplot(1, 3, p);
    rows = panels{p, 1};
    for i = 1:numel(rows)
      r = rows(i);
      style = '-o';
      colour = colours(mod(i - 1, size(colours, 1)) + 1, :);
      if p == 2
        % The two estimates of one pair in one colour, KSG dashed.
        colour = colours(mod(ceil(i / 2) - 1, size(colours, 1)) + 1, :);
        if mod(i, 2) == 0
          style = '--s';
        end
      end
      semilogx(ns, r.estimates - r.truth, style, 'LineWidth', 1.5, ...
               'Color', colour);
      hold on;
    end
    semilogx(ns([1 end]), [0 0], 'k:');
    hold off;
    grid on;
    xlim([min(ns) / 1.5, max(ns) * 1.5]);
    xlabel('n, samples');
    ylabel('estimate - analytic, nats');
    title(sprintf('%s, k = %d', panels{p, 2}, k));
    legend({rows.label}, 'Location', 'eastoutside');
  end
  print(f, png, '-dpng', '-r100');
  close(f);
end
