function h = entkl(X, k)
% ENTKL  Differential entropy of continuous samples, in nats.
%   H = ENTKL(X) estimates the differential entropy of the distribution
%   from which the rows of X were drawn (one sample per row, one dimension
%   per column) with the Kozachenko-Leonenko estimator, from each sample's
%   distance to its nearest neighbour.
%
%   H = ENTKL(X, K) uses the distance to the K-th nearest neighbour,
%   1 <= K < size(X, 1). Larger K lowers the variance of the estimate and
%   raises its bias.
%
%   Real numeric X of any class, full or sparse, is taken as double. A NaN
%   in X gives NaN, an infinite value +Inf.
%
%   Example:
%     X = randn(10000, 2);
%     h = entkl(X, 3)        % near 1 + log(2*pi) = 2.8379
%
%   See also MIKL.
  narginchk(1, 2);
  X = as_double(X);
  if nargin < 2
    h = entkl_internal(X);
  else
    h = entkl_internal(X, as_double(k));
  end
end
