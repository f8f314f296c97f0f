## OUT = weighted_mean (V, PRESENT, FWHM, FACTOR)
##
## Brute force for the smoothing functions' tests: for each present voxel of
## the 3-D array V, the mean of the present voxels of its neighbourhood,
## weighted by the product of the three 1-D kernels voxblur uses (their
## length from the FWHM in voxels and the factor, made odd, at least 3 and
## cut to the axis; taps exp (-x^2 / (2 v))); NaN at every other voxel.
## Kernels are not capped at 99 taps: that is voxblur's own limit.
function out = weighted_mean (v, present, fwhm, factor)
  n = size (v);
  n(end+1:3) = 1;
  for d = 1:3
    k{d} = axis_kernel (fwhm(d), factor, n(d));
    h(d) = (numel (k{d}) - 1) / 2;
  endfor
  out = NaN (n);
  for i = find (present(:))'
    [x, y, z] = ind2sub (n, i);
    ix = max (1, x - h(1)):min (n(1), x + h(1));
    iy = max (1, y - h(2)):min (n(2), y + h(2));
    iz = max (1, z - h(3)):min (n(3), z + h(3));
    w = k{1}(ix - x + h(1) + 1)(:) .* k{2}(iy - y + h(2) + 1) ...
        .* reshape (k{3}(iz - z + h(3) + 1), 1, 1, []);
    w(! present(ix, iy, iz)) = 0;
    values = v(ix, iy, iz);
    values(! present(ix, iy, iz)) = 0;
    out(i) = sum (w(:) .* values(:)) / sum (w(:));
  endfor
endfunction

## The 1-D kernel along an axis of n voxels, unnormalised (the mean divides
## by the weights' sum anyway).
function k = axis_kernel (fwhm, factor, n)
  taps = fix (factor * fwhm + 0.5);
  if (taps <= 2)
    taps = 3;
  elseif (mod (taps, 2) == 0)
    taps += 1;
  endif
  if (taps > n)
    taps = n - (mod (n, 2) == 0);
  endif
  x = (1:taps) - (taps + 1) / 2;
  k = exp (-x.^2 / (2 * max (fwhm^2 / (8 * log (2)), 1e-4)));
endfunction
