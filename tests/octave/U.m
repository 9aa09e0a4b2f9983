function x = U(m, n, seed)
% U  m x n fixed-seed uniform samples in [0, 1).
%   The 32-bit linear congruential stream s = mod(69069 s + 1, 2^32),
%   started at SEED and filled column by column, is exact in double
%   arithmetic, so the host tests make the same values.
  x = zeros(m, n);
  s = seed;
  for p = 1:m*n
    s = mod(69069 * s + 1, 4294967296);
    x(p) = s / 4294967296;
  end
end
