function cmi = cmiksg(varargin)
%CMIKSG  Conditional mutual information by the KSG estimator, in nats.
%   I = CMIKSG(X, Y, Z)
%   I = CMIKSG(X, Y, Z, K)
%
%   CMIKSG estimates the conditional mutual information I(X;Y|Z), in
%   nats: what X and Y tell about each other beyond what Z tells about
%   either. Row i of X, Y and Z is one observation, one dimension per
%   column; the three have the same number of rows N and any column
%   counts. I(X;Y|Z) is 0 when X and Y are independent given Z (for
%   example in a chain X -> Z -> Y); it is the quantity behind transfer
%   entropy and tests of conditional independence.
%
%   The estimate is the conditional form of the KSG construction (Frenzel
%   and Pompe):
%
%       I = psi(K) - mean(psi(nxz + 1) + psi(nyz + 1) - psi(nz + 1))
%
%   where, for each sample i, eps(i) is the distance to its K-th nearest
%   neighbour in the joint space [X Y Z] under the max-norm (the largest
%   absolute coordinate difference), and nxz(i), nyz(i), nz(i) count the
%   other samples whose max-norm distance from sample i in [X Z], in
%   [Y Z], or in Z is strictly below eps(i). psi is the digamma function,
%   computed to within 1 ulp.
%
%   K is the neighbour order, 3 by default, with 1 <= K < N, read as by
%   MIKSG. Ties and duplicates are treated as there: a sample at distance
%   exactly eps(i) is not counted; a sample with K or more duplicates in
%   [X Y Z] has eps(i) = 0 and adds psi(1) to the mean; nothing is added
%   to the samples. To break the ties of rounded data, add noise far below
%   its resolution yourself, e.g.
%       Z = Z + 1e-10 * std(Z(:)) * randn(size(Z));
%
%   A NaN or an infinite value anywhere gives NaN. Threads as for MIKSG.
%
%   X, Y, Z and K may be of any real numeric class (single, integer,
%   sparse) or logical: they are converted to full double. Anything else
%   is passed on unchanged to CMIKSG_INTERNAL, the plug-in's entry point,
%   whose message reports it; so do a wrong number of arguments, row
%   counts that differ and a K out of range.
%
%   Example:
%       z = randn(100000, 1);
%       x = z + randn(100000, 1);
%       y = x + randn(100000, 1);
%       cmiksg(x, y, z)     % near the truth log(2)/2 = 0.3466
%       cmiksg(z, y, x)     % chain Z -> X -> Y: near 0
%
%   References:
%       S. Frenzel and B. Pompe, "Partial mutual information for coupling
%       analysis of multivariate time series", Physical Review Letters 99,
%       204101, 2007.
%       A. Kraskov, H. Stoegbauer and P. Grassberger, "Estimating mutual
%       information", Physical Review E 69, 066138, 2004.
%
%   See also MIKSG, MIKL, ARVEL_DEMO.
  args = cellfun(@as_double, varargin, 'UniformOutput', false);
  cmi = cmiksg_internal(args{:});
end

%!shared X, Y, Z
%! X = mod ((1:200)' * sqrt(2), 1);
%! Y = mod ((1:200)' * [sqrt(5), sqrt(7)], 1);
%! Z = mod ((1:200)' * sqrt(11), 1);

%!test
%! ## Each class reaches the plug-in as the double of its values: same bits.
%! samples = {single(Z), int32(1000 * Z), logical(Z > 0.5), sparse(Z)};
%! for i = 1:numel (samples)
%!   z = full (double (samples{i}));
%!   assert (cmiksg (X, Y, samples{i}), cmiksg_internal (X, Y, z));
%!   assert (cmiksg (samples{i}, Y, X, uint8(4)), cmiksg_internal (z, Y, X, 4));
%! endfor

%!test
%! ## Z, then X = Z + U, Y = X + V: I(X;Y|Z) = log(2)/2; the chain Z -> X -> Y
%! ## has I(Z;Y|X) = 0.
%! randn ("state", 2);
%! z = randn (20000, 1);
%! x = z + randn (20000, 1);
%! y = x + randn (20000, 1);
%! assert (cmiksg (x, y, z), log (2) / 2, 0.03);
%! assert (cmiksg (z, y, x), 0, 0.03);

%!error <cmiksg_internal: Number of parameters must be 3 or 4> cmiksg (X, Y)
%!error <cmiksg_internal: Number of parameters must be 3 or 4> cmiksg (X, Y, Z, 1, 2)
%!error <cmiksg_internal: Matrices must have the same number of rows> cmiksg (X, Y, Z(1:100))
%!error <cmiksg_internal: Sample matrices must have at least one column> cmiksg (X, Y, zeros (200, 0))
