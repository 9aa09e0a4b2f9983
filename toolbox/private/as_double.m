function x = as_double(x)
% AS_DOUBLE  Real numeric input of any class, full or sparse, as a full
%   double matrix; anything else unchanged, for the plug-in to refuse.
  if isnumeric(x) && isreal(x)
    x = double(full(x));
  end
end
