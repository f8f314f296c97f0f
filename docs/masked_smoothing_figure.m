## masked_smoothing_figure (PNG_FILE)
##
## Draws what voxblur_masked is for, on the middle slice of the demo volume
## (demo_volume) with its objects as the mask and a hole of NaNs cut into
## the largest sphere, smoothed with a 6 mm FWHM four ways side by side:
## the volume itself, voxblur on it, voxblur with every missing voxel set to
## 0 (shown inside the mask), and voxblur_masked. Missing voxels are blue.
## Writes PNG_FILE.
function masked_smoothing_figure (png_file)
  [volume, mask] = demo_volume ();
  volume(56:72, 84:100, 44:52) = NaN;                  # the hole, 17 x 17 x 9 voxels
  missing = isnan (volume) | ! mask;

  plain = voxblur (volume, [1 1 1], [6 6 6]);
  zeroed = volume;
  zeroed(missing) = 0;
  zeroed = voxblur (zeroed, [1 1 1], [6 6 6]);
  zeroed(missing) = NaN;
  masked = voxblur_masked (volume, mask, [1 1 1], [6 6 6]);

  slice = 48;
  shown = {volume, plain, zeroed, masked};
  low = min (volume(:));
  high = max (volume(:));
  gap = ones (128, 8, 3);
  picture = zeros (128, 0, 3);
  for p = 1:numel (shown)
    grey = (shown{p}(:, :, slice)' - low) / (high - low);
    panel = repmat (min (max (grey, 0), 1), [1 1 3]);
    blue = isnan (grey);
    colour = [0.25 0.45 0.85];
    for c = 1:3
      channel = panel(:, :, c);
      channel(blue) = colour(c);
      panel(:, :, c) = channel;
    endfor
    if (p > 1)
      picture = [picture, gap];
    endif
    picture = [picture, panel];
  endfor

  folder = fileparts (png_file);
  if (! isempty (folder) && ! exist (folder, "dir"))
    mkdir (folder);
  endif
  imwrite (repelem (picture, 2, 2, 1), png_file);
  printf ("wrote %s: slice %d as it is, voxblur, voxblur with missing voxels as 0, voxblur_masked\n",
          png_file, slice);
endfunction
