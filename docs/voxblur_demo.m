## voxblur_demo (PNG_FILE)
##
## Builds a synthetic 128 x 128 x 96 volume of 1 mm voxels (three spheres
## and a cube on a noisy background), smooths it with a 6 mm FWHM Gaussian,
## and writes the middle slice before and after, side by side, to PNG_FILE.
function voxblur_demo (png_file)
  volume = demo_volume ();

  printf ("voxblur (volume, [1 1 1], [6 6 6]) on a %d x %d x %d volume, with %s:\n", size (volume),
          which ("voxblur"));
  tic;
  smoothed = voxblur (volume, [1 1 1], [6 6 6]);
  printf ("done in %.2f s\n", toc);

  slice = 48;
  before = volume(:, :, slice)';
  after = smoothed(:, :, slice)';
  low = min (before(:));
  high = max (before(:));
  gap = ones (rows (before), 8);
  picture = [(before - low) / (high - low), gap, (after - low) / (high - low)];
  picture = min (max (picture, 0), 1);

  folder = fileparts (png_file);
  if (! isempty (folder) && ! exist (folder, "dir"))
    mkdir (folder);
  endif
  imwrite (kron (picture, ones (3)), png_file);
  printf ("wrote %s: slice %d before (left) and after (right)\n", png_file, slice);
endfunction
