function i = mikl(X, Y, k)
% MIKL  Mutual information of continuous samples, in nats.
%   I = MIKL(X, Y) estimates the mutual information I(X;Y) =
%   H(X) + H(Y) - H(X,Y) between the distributions of the rows of X and Y,
%   each entropy by the Kozachenko-Leonenko estimator with the same
%   neighbour order. Row i of X and row i of Y are one observation; X and Y
%   have the same size (one sample per row, one dimension per column).
%
%   I = MIKL(X, Y, K) uses the distance to the K-th nearest neighbour,
%   1 <= K < size(X, 1).
%
%   Real numeric X and Y of any class, full or sparse, are taken as
%   double.
%
%   Example:
%     x = randn(10000, 1);
%     y = x + randn(10000, 1);
%     i = mikl(x, y, 3)      % near log(2)/2 = 0.3466
%
%   See also ENTKL.
  narginchk(2, 3);
  X = as_double(X);
  Y = as_double(Y);
  if nargin < 3
    i = mikl_internal(X, Y);
  else
    i = mikl_internal(X, Y, as_double(k));
  end
end
