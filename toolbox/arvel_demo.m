function arvel_demo(n)
% ARVEL_DEMO  Entropy and mutual information of Gaussian samples.
%   ARVEL_DEMO estimates, from N = 100000 samples (ARVEL_DEMO(N) for
%   another N), the differential entropy of Gaussian distributions in 1 to
%   3 dimensions and the mutual information of correlated Gaussian pairs,
%   and prints each estimate beside its analytic value, in nats.
  if nargin < 1
    n = 100000;
  end
  randn('state', 1);
  k = 3;

  fprintf('Entropy H(X) of %d Gaussian samples, k = %d\n', n, k);
  fprintf('  %-30s %10s %10s %10s %8s\n', 'distribution', 'estimate', ...
          'analytic', 'error', 'seconds');
  % X = Z * A with Z standard normal: H = d/2 (1 + log 2 pi) + log |det A|.
  shapes = {1, 'N(0, 1)'; 4, 'N(0, 16)'; [1 0; 0.5 2], ...
            '2-D, correlated'; diag([1 2 3]), '3-D, scaled axes'};
  for s = 1:size(shapes, 1)
    A = shapes{s, 1};
    d = size(A, 2);
    X = randn(n, d) * A;
    tic;
    h = entkl(X, k);
    t = toc;
    truth = d / 2 * (1 + log(2 * pi)) + log(abs(det(A)));
    fprintf('  %-30s %10.4f %10.4f %10.4f %8.2f\n', shapes{s, 2}, h, ...
            truth, h - truth, t);
  end

  fprintf('\nMutual information I(X;Y) of %d Gaussian pairs, k = %d\n', n, k);
  fprintf('  %-30s %10s %10s %10s %8s\n', 'correlation', 'estimate', ...
          'analytic', 'error', 'seconds');
  % Y = rho X + sqrt(1 - rho^2) E: I = -log(1 - rho^2) / 2.
  for rho = [0 0.5 0.9 0.99]
    x = randn(n, 1);
    y = rho * x + sqrt(1 - rho^2) * randn(n, 1);
    tic;
    i = mikl(x, y, k);
    t = toc;
    truth = -log(1 - rho^2) / 2 + 0;  % + 0: no -0 for rho = 0
    fprintf('  %-30s %10.4f %10.4f %10.4f %8.2f\n', ...
            sprintf('rho = %.2f', rho), i, truth, i - truth, t);
  end
end
