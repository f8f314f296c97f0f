% peers: times voxblur against Octave's own ways of doing the same smoothing,
% in one Octave session, and prints the ratios. voxblur is timed on one
% thread (VOXBLUR_THREADS=1) and on all the processors Octave may use (the
% variable unset); the ratios are to the latter.
%
%   convn   three 1-D convolutions with the very kernels voxblur uses
%   smooth3 'gaussian' with the same kernel length and width (it convolves
%           with the full 3-D kernel, so it is timed where that takes
%           seconds, not hours; peers(true) times it everywhere)
%
% Neither renormalises at the faces as voxblur does (convn pads with zeros,
% smooth3 repeats the edge voxels), so only the times are compared, not
% the values. Run from the top of the tree after building
% out/octave/voxblur.mex:
%
%   ./scripts/octave.sh --path bench --eval peers
function peers(smooth3_everywhere)
  if nargin < 1
    smooth3_everywhere = false;
  end
  shapes = {[128 128 128], [181 217 181], [256 256 256]};
  fwhms = [2 8];
  factor = 4;
  repeats = 5;

  threads_before = getenv('VOXBLUR_THREADS');
  all_threads = sprintf('vb %dthr ms', nproc());
  printf('%-14s %5s %5s %11s %11s %11s %11s %10s %10s %10s\n', 'volume', 'fwhm', 'taps', ...
         'vb 1thr ms', all_threads, 'convn ms', 'smooth3 ms', 'all/1thr', 'convn/vb', ...
         'smooth3/vb');
  for s = 1:numel(shapes)
    shape = shapes{s};
    volume = 1000 * rand(shape);
    for fwhm = fwhms
      taps = kernel_length(fwhm, factor);
      kernel = gauss_taps(taps, fwhm);

      setenv('VOXBLUR_THREADS', '1');
      t_one = median_time(@() quiet_voxblur(volume, fwhm, factor), repeats);
      unsetenv('VOXBLUR_THREADS');
      t_voxblur = median_time(@() quiet_voxblur(volume, fwhm, factor), repeats);
      t_convn = median_time(@() separable_convn(volume, kernel), repeats);
      if smooth3_everywhere || taps ^ 3 * prod(shape) < 1e11
        sigma = fwhm / sqrt(8 * log(2));
        t_smooth3 = median_time(@() smooth3(volume, 'gaussian', taps, sigma), 1);
      else
        t_smooth3 = NaN;
      end

      printf('%-14s %5g %5d %11.1f %11.1f %11.1f %11.1f %9.2fx %9.1fx %9.1fx\n', ...
             sprintf('%dx%dx%d', shape), fwhm, taps, 1000 * t_one, 1000 * t_voxblur, ...
             1000 * t_convn, 1000 * t_smooth3, t_one / t_voxblur, t_convn / t_voxblur, ...
             t_smooth3 / t_voxblur);
    end
  end
  if isempty(threads_before)
    unsetenv('VOXBLUR_THREADS');
  else
    setenv('VOXBLUR_THREADS', threads_before);
  end
end

% The kernel length voxblur settles on these axes (all longer than it).
function taps = kernel_length(fwhm, factor)
  taps = fix(factor * fwhm + 0.5);
  if taps <= 2
    taps = 3;
  elseif mod(taps, 2) == 0
    taps = taps + 1;
  end
end

% voxblur's kernel: the same variance constant and normalisation.
function kernel = gauss_taps(taps, fwhm)
  variance = max(fwhm ^ 2 * 0.18033688011112, 0.0001);
  x = (0:taps - 1) - (taps - 1) / 2;
  kernel = exp(-(x .^ 2) / (2 * variance));
  kernel = kernel / sum(kernel);
end

function out = quiet_voxblur(volume, fwhm, factor)
  % voxblur prints two progress lines per call; keep them off the table.
  out = [];
  evalc('out = voxblur(volume, [], [fwhm fwhm fwhm], factor);');
end

function out = separable_convn(volume, kernel)
  out = convn(volume, kernel(:), 'same');
  out = convn(out, kernel(:)', 'same');
  out = convn(out, reshape(kernel, 1, 1, []), 'same');
end

% The median of `repeats` runs, in seconds.
function t = median_time(run, repeats)
  times = zeros(1, repeats);
  for r = 1:repeats
    start = tic;
    run();
    times(r) = toc(start);
  end
  t = median(times);
end
