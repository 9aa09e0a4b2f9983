function mi = miksg(varargin)
%MIKSG  Mutual information by the KSG estimator, in nats.
%   I = MIKSG(X, Y)
%   I = MIKSG(X, Y, K)
%
%   MIKSG estimates the mutual information I(X;Y), in nats, between two
%   continuous random vectors from paired samples: row i of X and row i
%   of Y are one observation, one dimension per column. X and Y have the
%   same number of rows N; their column counts may differ. I(X;Y) is 0
%   for independent X and Y; for jointly Gaussian X and Y of correlation
%   rho in one dimension it is -log(1 - rho^2) / 2.
%
%   The estimate is the first estimator of Kraskov, Stoegbauer and
%   Grassberger (KSG):
%
%       I = psi(K) + psi(N) - mean(psi(nx + 1) + psi(ny + 1))
%
%   where, for each sample i, eps(i) is the distance to its K-th nearest
%   neighbour in the joint space [X Y] under the max-norm (the largest
%   absolute coordinate difference, so the larger of the max-norm
%   distances in X and in Y), and nx(i), ny(i) count the other samples
%   whose max-norm distance from sample i in X, or in Y, is strictly
%   below eps(i). The neighbour scale comes from the joint space and the
%   counts from the marginals, so that their errors largely cancel: near
%   independence the estimate stays close to 0 (it can still be slightly
%   negative). psi is the digamma function, computed to within 1 ulp.
%
%   K is the neighbour order, 3 by default, with 1 <= K < N. A K that is
%   not a whole number is truncated toward zero; only its first element
%   is read. A larger K lowers the variance and raises the bias.
%
%   Ties and duplicates: a sample at distance exactly eps(i) is not
%   counted. When K or more other samples equal sample i in every column,
%   eps(i) is 0, nothing is strictly closer, and the sample adds
%   psi(1) + psi(1) to the mean. Many equal values in X or Y alone (rounded
%   data) make the counts jump at the rounding steps, and the estimate
%   then depends on the rounding. Nothing is added to the samples; to
%   break ties, add noise far below the data's resolution yourself, e.g.
%       X = X + 1e-10 * std(X(:)) * randn(size(X));
%
%   Non-finite samples: a NaN or an infinite value anywhere gives NaN.
%   Coordinates of magnitude 2^1022 or more are searched divided by 4,
%   exactly, so that no distance overflows.
%
%   Threads: the searches run on several threads, with the same result,
%   bit for bit, for any number of them, read on each call as for MIKL
%   (ARVEL_NUM_THREADS, else OMP_NUM_THREADS, else the CPUs the process
%   may use; one thread below 4096 samples).
%
%   X, Y and K may be of any real numeric class (single, integer, sparse)
%   or logical: they are converted to full double. Anything else is
%   passed on unchanged to MIKSG_INTERNAL, the plug-in's entry point,
%   whose message reports it; so do a wrong number of arguments, row
%   counts that differ and a K out of range.
%
%   Example:
%       x = randn(100000, 1);
%       y = x + randn(100000, 1);    % correlation 1/sqrt(2)
%       miksg(x, y)                  % near the truth log(2)/2 = 0.3466
%       miksg(x, [y, randn(100000, 4)], 4)   % 1 column against 5
%
%   Reference:
%       A. Kraskov, H. Stoegbauer and P. Grassberger, "Estimating mutual
%       information", Physical Review E 69, 066138, 2004 (equation 8).
%
%   See also CMIKSG, MIKL, ENTKL, ARVEL_DEMO.
  args = cellfun(@as_double, varargin, 'UniformOutput', false);
  mi = miksg_internal(args{:});
end

%!shared X, Y
%! ## 200 distinct points of two Weyl sequences.
%! X = mod ((1:200)' * sqrt(2), 1);
%! Y = mod ((1:200)' * [sqrt(5), sqrt(7)], 1);

%!test
%! ## Each class reaches the plug-in as the double of its values: same bits.
%! samples = {single(Y), int32(1000 * Y), logical(Y > 0.5), sparse(Y)};
%! orders = {single(2), uint8(2), true, sparse(2)};
%! for i = 1:numel (samples)
%!   y = full (double (samples{i}));
%!   assert (miksg (X, samples{i}), miksg_internal (X, y));
%!   assert (miksg (samples{i}, X), miksg_internal (y, X));
%!   assert (miksg (X, Y, orders{i}), miksg_internal (X, Y, full (double (orders{i}))));
%! endfor

%!test
%! ## Normal pair of correlation 0.8: I = -log(1 - 0.8^2) / 2 = 0.5108;
%! ## independent pair: 0.
%! randn ("state", 1);
%! x = randn (20000, 1);
%! y = 0.8 * x + 0.6 * randn (20000, 1);
%! assert (miksg (x, y), -log (1 - 0.8^2) / 2, 0.03);
%! assert (miksg (x, randn (20000, 1)), 0, 0.02);

%!test
%! ## Two samples, K = 1: X's distance 2 lies within eps = 4, Y's does not.
%! assert (miksg ([0; 2], [1; 5], 1), 0, 1e-15);

%!error <miksg_internal: Number of parameters must be 2 or 3> miksg (X)
%!error <miksg_internal: Number of parameters must be 2 or 3> miksg (X, Y, 1, 2)
%!error <miksg_internal: Matrices must have the same number of rows> miksg (X, Y(1:100, :))
%!error <miksg_internal: Inputs must be real full double matrices> miksg (X, complex (Y, Y))
%!error <miksg_internal: Nearest neighbour must be lower than sample size> miksg (X, Y, 200)
