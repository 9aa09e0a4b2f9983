function arvel_demo(png)
%ARVEL_DEMO  Entropy and mutual information of Gaussian samples.
%   ARVEL_DEMO estimates, from 100 to 100000 samples, the differential
%   entropy of Gaussian distributions in 1, 2 and 3 dimensions and the
%   mutual information of correlated Gaussian pairs in 1 and 2 dimensions,
%   with K = 3. It prints each estimate beside the analytic value, in
%   nats, and plots the error of the estimates against the number of
%   samples into the file arvel_demo.png in the current folder.
%
%   ARVEL_DEMO(PNG) writes the plot to the file PNG.
%
%   The samples come from a fixed seed, so that a run prints what the last
%   one did (MATLAB's and Octave's generators differ, and so do their
%   figures). Each column of the table uses the first N samples of the
%   same draw.
%
%   See also ENTKL, MIKL.
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
  correlations = {0.5, 'd = 1, rho = 0.5'; 0.9, 'd = 1, rho = 0.9'; ...
                  [0.6 0.8], 'd = 2, rho = 0.6, 0.8'};
  information = struct('label', correlations(:, 2)', 'truth', 0, ...
                       'estimates', []);
  for c = 1:size(correlations, 1)
    rho = correlations{c, 1};
    d = numel(rho);
    X = randn(max(ns), d);
    Y = X .* repmat(rho, max(ns), 1) ...
        + randn(max(ns), d) .* repmat(sqrt(1 - rho.^2), max(ns), 1);
    information(c).truth = -sum(log(1 - rho.^2)) / 2;
    information(c).estimates = arrayfun(@(n) mikl(X(1:n, :), Y(1:n, :), k), ns);
  end
  seconds = toc(started);

  print_table(sprintf('Entropy H(X), nats, k = %d', k), entropy, ns);
  fprintf('\n');
  print_table(sprintf('Mutual information I(X;Y), nats, k = %d', k), ...
              information, ns);
  fprintf('\n%d estimates from %d to %d samples in %.1f s\n', ...
          numel(ns) * (numel(entropy) + numel(information)), min(ns), ...
          max(ns), seconds);

  plot_errors(png, ns, k, entropy, information);
  if isempty(fileparts(png))
    png = fullfile(pwd, png);
  end
  fprintf('Convergence plot: %s\n', png);
end

function print_table(title, rows, ns)
  fprintf('%s\n', title);
  fprintf('  %-22s %9s', 'n =', 'analytic');
  fprintf(' %8d', ns);
  fprintf('\n');
  for r = rows
    fprintf('  %-22s %9.4f', r.label, r.truth);
    fprintf(' %8.4f', r.estimates);
    fprintf('\n');
  end
end

% Estimate minus analytic value against n, on a log scale of n, one panel
% for the entropies and one for the mutual informations. Drawn off screen
% (Octave: with gnuplot, which needs no display) and printed as a PNG.
function plot_errors(png, ns, k, entropy, information)
  octave = exist('OCTAVE_VERSION', 'builtin') ~= 0;
  if octave
    % Its warning is about interactive windows, which this plot has none of.
    warning('off', 'Octave:gnuplot-graphics', 'local');
  end
  f = figure('visible', 'off');
  if octave && any(strcmp(available_graphics_toolkits(), 'gnuplot'))
    graphics_toolkit(f, 'gnuplot');
  end
  set(f, 'PaperUnits', 'inches', 'PaperPosition', [0 0 13 4]);
  panels = {entropy, 'Entropy'; information, 'Mutual information'};
  for p = 1:2
    subplot(1, 2, p);
    rows = panels{p, 1};
    for r = rows
      semilogx(ns, r.estimates - r.truth, '-o', 'LineWidth', 1.5);
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
