function h = entkl(varargin)
%ENTKL  Differential entropy of continuous samples, in nats.
%   H = ENTKL(X)
%   H = ENTKL(X, K)
%
%   ENTKL estimates the differential entropy H(X) = -E[log p(X)], in nats,
%   of the continuous distribution from which the rows of X were drawn.
%   X holds one sample per row and one dimension per column: an N x D
%   matrix is N samples in D dimensions. The estimator is the
%   Kozachenko-Leonenko estimator: it needs neither bins nor a bandwidth,
%   only the Euclidean distance from each sample to its K-th nearest
%   neighbour among the other samples, which a kd-tree finds exactly.
%
%   K is the neighbour order, 1 by default, with 1 <= K < N. A K that is
%   not a whole number is truncated toward zero (2.9 is 2). A larger K
%   lowers the variance of the estimate and raises its bias.
%
%   The estimate is
%
%       H = D/N * sum(log(rho)) + log(N - 1) - psi(K) + log(V)
%
%   with rho(i) the distance from sample i to its K-th nearest neighbour,
%   psi the digamma function and V = pi^(D/2) / gamma(D/2 + 1) the volume
%   of the D-dimensional unit ball. The constant log(N - 1) is the one of
%   Kozachenko and Leonenko; Kraskov, Stoegbauer and Grassberger write
%   psi(N) in its place, which exceeds it by less than 1/N.
%
%   Duplicated rows: a distance of 0 adds 0 to the sum (its logarithm is
%   not taken), as if that neighbour were at distance 1. Samples of a
%   continuous distribution have no duplicates; for rounded or discrete
%   data the estimate depends on the unit of measurement.
%
%   Non-finite samples: a NaN anywhere in X gives NaN; otherwise an
%   infinite value gives +Inf.
%
%   Threads: the neighbour searches run on several threads, with the same
%   result, bit for bit, for any number of them. The number is the value
%   of the environment variable ARVEL_NUM_THREADS if it is a positive
%   whole number (1: no threads besides the caller's), else that of
%   OMP_NUM_THREADS, else the number of CPUs the process may use; fewer
%   for small N (one thread below 4096 samples). It is read on each call:
%       setenv('ARVEL_NUM_THREADS', '4')
%
%   X and K may be of any real numeric class (single, integer, sparse) or
%   logical: they are converted to full double. Anything else (complex,
%   char, cell, struct) is passed on unchanged to ENTKL_INTERNAL, the
%   plug-in's entry point, whose message reports it; so do a wrong number
%   of arguments and a K out of range.
%
%   Example:
%       entkl([0; 1; 3])    % 2.1946: rho = [1 1 2], D = 1, N = 3, V = 2:
%                           % log(2)/3 + log(2) - psi(1) + log(2)
%       X = randn(100000, 2);
%       entkl(X, 3)         % near the truth 1 + log(2*pi) = 2.8379
%
%   Reference:
%       L. F. Kozachenko and N. N. Leonenko, "Sample estimate of the
%       entropy of a random vector", Problems of Information Transmission
%       23(2), 1987.
%
%   See also MIKL, ARVEL_DEMO.
  args = cellfun(@as_double, varargin, 'UniformOutput', false);
  h = entkl_internal(args{:});
end

%!shared X
%! ## 200 distinct points of a Weyl sequence in the unit square.
%! X = mod ((1:200)' * [sqrt(2), sqrt(3)], 1);

%!test
%! ## Each class reaches the plug-in as the double of its values: same bits.
%! samples = {single(X), int16(1000 * X), logical(X > 0.5), sparse(X)};
%! orders = {single(3), int16(3), true, sparse(3)};
%! for i = 1:numel (samples)
%!   assert (entkl (samples{i}), entkl_internal (full (double (samples{i}))));
%!   assert (entkl (X, orders{i}), entkl_internal (X, full (double (orders{i}))));
%! endfor

%!test
%! ## The worked example of the help text. The plug-in's digamma, a truncated
%! ## asymptotic series, lies some 5e-11 below psi.
%! assert (entkl ([0; 1; 3]), log (2) / 3 + 2 * log (2) - psi (1), 1e-10);

%!test
%! ## Standard normal: H = log(2*pi*e) / 2 = 1.4189.
%! randn ("state", 1);
%! assert (entkl (randn (20000, 1), 3), log (2 * pi * exp (1)) / 2, 0.03);

%!error <entkl_internal: Number of parameters must be 1 or 2> entkl ()
%!error <entkl_internal: Number of parameters must be 1 or 2> entkl (X, 1, 2)
%!error <entkl_internal: Inputs must be real full double matrices> entkl (complex (X, X))
%!error <entkl_internal: Inputs must be real full double matrices> entkl ("text")
%!error <entkl_internal: Nearest neighbour must be lower than sample size> entkl (X, 200)
