% voxsmooth_times: the speed targets of voxsmooth, in one Octave session
% with out/octave on the path, each the median of REPEATS calls:
%
%   series  64 x 64 x 36 x 300 double: voxsmooth on all threads against a
%           loop of voxblur over the volumes (its console lines captured),
%           and voxsmooth on 2 threads against 1
%   mask    256^3 double: a masked call against an unmasked one
%   single  256^3: single data against double, the whole call
%
% Run from the top of the tree after building out/octave:
%
%   ./scripts/octave.sh --path bench --eval voxsmooth_times
function voxsmooth_times(repeats)
  if nargin < 1
    repeats = 5;
  end
  fprintf('voxsmooth_times: %d threads allowed, median of %d calls\n', nproc(), repeats);

  run = rand(64, 64, 36, 300);
  fwhm = [2 2 2];
  smoothed = @() voxsmooth(run, [], fwhm);
  looped = @() voxblur_loop(run, fwhm);
  one = @() voxsmooth(run, [], fwhm, 'Threads', 1);
  two = @() voxsmooth(run, [], fwhm, 'Threads', 2);
  t_smooth = median_time(smoothed, repeats);
  t_loop = median_time(looped, repeats);
  t_one = median_time(one, repeats);
  t_two = median_time(two, repeats);
  fprintf('series 64x64x36x300 double: voxsmooth %.3f s, voxblur loop %.3f s (%.2fx)\n', ...
          t_smooth, t_loop, t_loop / t_smooth);
  fprintf('series 64x64x36x300 double: 1 thread %.3f s, 2 threads %.3f s (%.2fx)\n', ...
          t_one, t_two, t_one / t_two);

  volume = rand(256, 256, 256);
  mask = rand(256, 256, 256) > 0.2;
  t_plain = median_time(@() voxsmooth(volume, [], fwhm), repeats);
  t_masked = median_time(@() voxsmooth(volume, [], fwhm, 'Mask', mask), repeats);
  fprintf('256^3 double: unmasked %.3f s, masked %.3f s (%.2fx)\n', t_plain, t_masked, ...
          t_masked / t_plain);

  single_volume = single(volume);
  t_single = median_time(@() voxsmooth(single_volume, [], fwhm), repeats);
  fprintf('256^3: double %.3f s, single %.3f s (%.2fx)\n', t_plain, t_single, t_plain / t_single);
end

function out = voxblur_loop(run, fwhm)
  out = zeros(size(run));
  evalc('for k = 1:size(run, 4), out(:, :, :, k) = voxblur(run(:, :, :, k), [], fwhm); end');
end

function t = median_time(call, repeats)
  times = zeros(1, repeats);
  call();
  for r = 1:repeats
    start = tic;
    call();
    times(r) = toc(start);
  end
  t = median(times);
end
