% voxsmooth_times: the speed targets of voxsmooth, in one Octave session
% with out/octave on the path:
%
%   series  64 x 64 x 36 x 300 double: voxsmooth on 2 threads against 1,
%           and on all threads against a loop of voxblur over the volumes
%           (its console lines captured)
%   mask    256^3 double: a masked call against an unmasked one
%   single  256^3: single data against double, the whole call
%
% The two calls of each voxsmooth comparison alternate, REPEATS pairs of
% them: each time printed is the median of its calls, each ratio the
% median of the pairs' own ratios. On a host that takes a core away now
% and then, a spell that slows one call slows its partner too, where a
% block of one call's repeats and then a block of the other's can each
% catch a different spell. The loop of voxblur comes last and in a block
% of its own: its many allocations leave memory where the kernel cannot
% find huge pages for a while, and a result then faults in small pages.
%
% Run from the top of the tree after building out/octave:
%
%   ./scripts/octave.sh --path bench --eval voxsmooth_times
function voxsmooth_times(repeats)
  if nargin < 1
    repeats = 5;
  end
  fprintf('voxsmooth_times: %d threads allowed, medians of %d calls or alternated pairs\n', ...
          nproc(), repeats);

  run = rand(64, 64, 36, 300);
  fwhm = [2 2 2];
  [t_one, t_two, r] = paired_times(@() voxsmooth(run, [], fwhm, 'Threads', 1), ...
                                   @() voxsmooth(run, [], fwhm, 'Threads', 2), repeats);
  fprintf('series 64x64x36x300 double: 1 thread %.3f s, 2 threads %.3f s (%.2fx)\n', ...
          t_one, t_two, r);

  volume = rand(256, 256, 256);
  mask = rand(256, 256, 256) > 0.2;
  [t_masked, t_plain, r] = paired_times(@() voxsmooth(volume, [], fwhm, 'Mask', mask), ...
                                        @() voxsmooth(volume, [], fwhm), repeats);
  fprintf('256^3 double: unmasked %.3f s, masked %.3f s (%.2fx)\n', t_plain, t_masked, r);

  single_volume = single(volume);
  [t_double, t_single, r] = paired_times(@() voxsmooth(volume, [], fwhm), ...
                                         @() voxsmooth(single_volume, [], fwhm), repeats);
  fprintf('256^3: double %.3f s, single %.3f s (%.2fx)\n', t_double, t_single, r);

  t_smooth = median_time(@() voxsmooth(run, [], fwhm), repeats);
  t_loop = median_time(@() voxblur_loop(run, fwhm), repeats);
  fprintf('series 64x64x36x300 double: voxsmooth %.3f s, voxblur loop %.3f s (%.2fx)\n', ...
          t_smooth, t_loop, t_loop / t_smooth);
end

function out = voxblur_loop(run, fwhm)
  out = zeros(size(run));
  evalc('for k = 1:size(run, 4), out(:, :, :, k) = voxblur(run(:, :, :, k), [], fwhm); end');
end

% The medians of `slow` and of `fast`, called in turn, and the median of
% slow's time over fast's within each pair.
function [t_slow, t_fast, ratio] = paired_times(slow, fast, repeats)
  slow();
  fast();
  times = zeros(2, repeats);
  for r = 1:repeats
    times(1, r) = call_time(slow);
    times(2, r) = call_time(fast);
  end
  t_slow = median(times(1, :));
  t_fast = median(times(2, :));
  ratio = median(times(1, :) ./ times(2, :));
end

function t = median_time(call, repeats)
  call();
  times = zeros(1, repeats);
  for r = 1:repeats
    times(r) = call_time(call);
  end
  t = median(times);
end

% The result is kept until the time is taken: a result left to `ans`
% would be freed by the next call, inside that call's time.
function t = call_time(call)
  start = tic;
  result = call();
  t = toc(start);
end
