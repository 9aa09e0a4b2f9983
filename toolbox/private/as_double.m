function x = as_double(x)
% AS_DOUBLE  Real numeric or logical input, full or sparse, as a full
%   double matrix; anything else unchanged, for the plug-in to refuse.
  if (isnumeric(x) || islogical(x)) && isreal(x)
    x = full(double(x));
  end
end
