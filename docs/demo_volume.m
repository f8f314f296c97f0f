## [VOLUME, OBJECTS] = demo_volume ()
##
## The synthetic 128 x 128 x 96 volume of 1 mm voxels that the demo and the
## figures smooth: three spheres of 100 and a cube of 60 on a background of
## 0, with noise of standard deviation 15. OBJECTS is true inside them.
function [volume, objects] = demo_volume ()
  [x, y, z] = ndgrid (1:128, 1:128, 1:96);
  volume = zeros (size (x));
  spheres = [40 40 48 18; 88 44 48 12; 64 92 48 22];   # centre (mm), radius (mm)
  for s = 1:rows (spheres)
    c = spheres(s, :);
    inside = (x - c(1)).^2 + (y - c(2)).^2 + (z - c(3)).^2 <= c(4)^2;
    volume(inside) = 100;
  endfor
  volume(96:116, 80:100, 38:58) = 60;                  # a cube, 21 mm a side
  objects = volume > 0;
  randn ("state", 1);         # the same noise every run, so the pictures only change with voxblur
  volume += 15 * randn (size (volume));
endfunction
