function mi = mikl(varargin)
%MIKL  Mutual information of continuous samples, in nats.
%   I = MIKL(X, Y)
%   I = MIKL(X, Y, K)
%
%   MIKL estimates the mutual information I(X;Y), in nats, between two
%   continuous random vectors from paired samples: row i of X and row i
%   of Y are one observation, one dimension per column. X and Y have the
%   same size. I(X;Y) is 0 for independent X and Y and grows with their
%   dependence, linear or not; for jointly Gaussian X and Y of
%   correlation rho in one dimension it is -log(1 - rho^2) / 2.
%
%   The estimate is the sum of three Kozachenko-Leonenko entropy estimates
%   (see ENTKL), each with the same neighbour order K:
%
%       I = H(X) + H(Y) - H([X Y])
%
%   K is the neighbour order, 1 by default, with 1 <= K < N for N rows. A
%   K that is not a whole number is truncated toward zero. A larger K
%   lowers the variance of the estimate and raises its bias. The
%   neighbours in [X Y] and in X or Y alone are searched independently, so
%   the errors of the three entropies need not cancel; when X and Y are
%   independent the estimate scatters around 0 and can be negative.
%
%   Duplicated rows: a distance of 0 adds 0 to the entropies' sums (its
%   logarithm is not taken). Non-finite samples: a NaN anywhere gives NaN;
%   otherwise an infinite value gives NaN as well (H(X,Y) is +Inf, and
%   Inf - Inf is NaN).
%
%   Threads: the neighbour searches run on several threads, with the same
%   result, bit for bit, for any number of them. The number is the value
%   of the environment variable ARVEL_NUM_THREADS if it is a positive
%   whole number (1: no threads besides the caller's), else that of
%   OMP_NUM_THREADS, else the number of CPUs the process may use; fewer
%   for small N (one thread below 4096 samples). It is read on each call:
%       setenv('ARVEL_NUM_THREADS', '4')
%
%   X, Y and K may be of any real numeric class (single, integer, sparse)
%   or logical: they are converted to full double. Anything else (complex,
%   char, cell, struct) is passed on unchanged to MIKL_INTERNAL, the
%   plug-in's entry point, whose message reports it; so do a wrong number
%   of arguments, X and Y of different sizes and a K out of range.
%
%   Example:
%       x = randn(100000, 1);
%       y = x + randn(100000, 1);    % correlation 1/sqrt(2)
%       mikl(x, y, 3)                % near the truth log(2)/2 = 0.3466
%
%   References:
%       L. F. Kozachenko and N. N. Leonenko, "Sample estimate of the
%       entropy of a random vector", Problems of Information Transmission
%       23(2), 1987.
%       A. Kraskov, H. Stoegbauer and P. Grassberger, "Estimating mutual
%       information", Physical Review E 69, 066138, 2004.
%
%   See also ENTKL, ARVEL_DEMO.
  args = cellfun(@as_double, varargin, 'UniformOutput', false);
  mi = mikl_internal(args{:});
end

%!shared X, Y
%! ## 200 distinct points of two Weyl sequences in the unit square.
%! X = mod ((1:200)' * [sqrt(2), sqrt(3)], 1);
%! Y = mod ((1:200)' * [sqrt(5), sqrt(7)], 1);

%!test
%! ## Each class reaches the plug-in as the double of its values: same bits.
%! samples = {single(Y), int32(1000 * Y), logical(Y > 0.5), sparse(Y)};
%! orders = {single(2), uint8(2), true, sparse(2)};
%! for i = 1:numel (samples)
%!   y = full (double (samples{i}));
%!   assert (mikl (X, samples{i}), mikl_internal (X, y));
%!   assert (mikl (samples{i}, X), mikl_internal (y, X));
%!   assert (mikl (X, Y, orders{i}), mikl_internal (X, Y, full (double (orders{i}))));
%! endfor

%!test
%! ## Normal pair of correlation 0.8: I = -log(1 - 0.8^2) / 2 = 0.5108.
%! randn ("state", 1);
%! x = randn (20000, 1);
%! y = 0.8 * x + 0.6 * randn (20000, 1);
%! assert (mikl (x, y, 3), -log (1 - 0.8^2) / 2, 0.03);

%!error <mikl_internal: Number of parameters must be 2 or 3> mikl (X)
%!error <mikl_internal: Number of parameters must be 2 or 3> mikl (X, Y, 1, 2)
%!error <mikl_internal: Size of matrices must be the same> mikl (X, Y(1:100, :))
%!error <mikl_internal: Inputs must be real full double matrices> mikl (X, complex (Y, Y))
