% peers: times voxblur against Octave's own ways of doing the same smoothing,
% in one Octave session, and prints the ratios to voxblur.oct.
%
%   .oct    on all the processors Octave may use (VOXBLUR_THREADS unset),
%           and on one thread (VOXBLUR_THREADS=1)
%   engine  the engine alone on the same threads, writing into a result
%           that is already mapped (out/bench/engine_time.oct): the rest of
%           a .oct call is the call's own cost
%   .mex    voxblur's MEX build in Octave's MEX layer (out/octave-mex), on
%           all processors,
%           copied to a temporary folder as voxblur_mex.mex so that it can
%           be called beside the .oct of the same name
%   convn   three 1-D convolutions with the very kernels voxblur uses
%   smooth3 'gaussian' with the same kernel length and width (it convolves
%           with the full 3-D kernel, so it is timed where that takes
%           seconds, not hours; peers(true) times it everywhere)
%
% Neither renormalises at the faces as voxblur does (convn pads with zeros,
% smooth3 repeats the edge voxels), so only the times are compared, not
% the values. Run from the top of the tree after building out/octave/voxblur.oct,
% out/octave-mex/voxblur.mex and out/bench/engine_time.oct:
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

  [~, ~, extension] = fileparts(which('voxblur'));
  if ~strcmp(extension, '.oct')
    error('peers: voxblur is %s, not voxblur.oct', which('voxblur'));
  end
  mex_folder = tempname();
  mkdir(mex_folder);
  top = fileparts(fileparts(mfilename('fullpath')));
  copyfile(fullfile(top, 'out', 'octave-mex', 'voxblur.mex'), ...
           fullfile(mex_folder, 'voxblur_mex.mex'));
  addpath(mex_folder);
  addpath(fullfile(top, 'out', 'bench'));
  cleanup = onCleanup(@() remove_folder(mex_folder));

  threads_before = getenv('VOXBLUR_THREADS');
  unsetenv('VOXBLUR_THREADS');
  cleanup_threads = onCleanup(@() restore_threads(threads_before));
  printf('voxblur on all threads: %d, as many as Octave may use\n', nproc());
  printf('%-14s %5s %5s %8s %8s %8s %8s %8s %8s %8s %9s %10s %8s %8s %9s %10s\n', 'volume', ...
         'fwhm', 'taps', 'oct ms', 'engine', 'oct/eng', 'oct 1thr', 'eng 1thr', 'oct/eng', ...
         'mex ms', 'convn ms', 'smooth3 ms', '1thr/oct', 'mex/oct', 'convn/oct', 'smooth3/oct');
  for s = 1:numel(shapes)
    shape = shapes{s};
    volume = 1000 * rand(shape);
    for fwhm = fwhms
      taps = kernel_length(fwhm, factor);
      kernel = gauss_taps(taps, fwhm);

      t = median_times({@() wall_time(@() quiet_call('voxblur', volume, fwhm, factor)), ...
                        @() engine_time(volume, fwhm, factor), ...
                        @() wall_time(@() one_thread_call('voxblur', volume, fwhm, factor)), ...
                        @() one_thread_engine_time(volume, fwhm, factor), ...
                        @() wall_time(@() quiet_call('voxblur_mex', volume, fwhm, factor)), ...
                        @() wall_time(@() separable_convn(volume, kernel))}, repeats);
      t_voxblur = t(1);
      t_engine = t(2);
      t_one = t(3);
      t_engine_one = t(4);
      t_mex = t(5);
      t_convn = t(6);
      if smooth3_everywhere || taps ^ 3 * prod(shape) < 1e11
        sigma = fwhm / sqrt(8 * log(2));
        t_smooth3 = median_times({@() wall_time(@() smooth3(volume, 'gaussian', taps, sigma))}, 1);
      else
        t_smooth3 = NaN;
      end

      printf(['%-14s %5g %5d %8.1f %8.1f %7.2fx %8.1f %8.1f %7.2fx %8.1f %9.1f %10.1f %7.2fx ' ...
              '%7.2fx %8.2fx %10.1fx\n'], sprintf('%dx%dx%d', shape), fwhm, taps, ...
             1000 * t_voxblur, 1000 * t_engine, t_voxblur / t_engine, 1000 * t_one, ...
             1000 * t_engine_one, t_one / t_engine_one, 1000 * t_mex, 1000 * t_convn, ...
             1000 * t_smooth3, t_one / t_voxblur, t_mex / t_voxblur, t_convn / t_voxblur, ...
             t_smooth3 / t_voxblur);
    end
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

function out = quiet_call(name, volume, fwhm, factor)
  % voxblur prints two progress lines per call; keep them off the table.
  out = [];
  evalc('out = feval(name, volume, [], [fwhm fwhm fwhm], factor);');
end

% A call with VOXBLUR_THREADS=1, which the other calls run without.
function out = one_thread_call(name, volume, fwhm, factor)
  setenv('VOXBLUR_THREADS', '1');
  out = quiet_call(name, volume, fwhm, factor);
  unsetenv('VOXBLUR_THREADS');
end

% The engine alone with VOXBLUR_THREADS=1, in seconds.
function seconds = one_thread_engine_time(volume, fwhm, factor)
  setenv('VOXBLUR_THREADS', '1');
  seconds = engine_time(volume, fwhm, factor);
  unsetenv('VOXBLUR_THREADS');
end

function seconds = wall_time(run)
  start = tic;
  run();
  seconds = toc(start);
end

function remove_folder(folder)
  rmpath(folder);
  confirm_recursive_rmdir(false, 'local');
  rmdir(folder, 's');
end

function out = separable_convn(volume, kernel)
  out = convn(volume, kernel(:), 'same');
  out = convn(out, kernel(:)', 'same');
  out = convn(out, reshape(kernel, 1, 1, []), 'same');
end

% The median of `repeats` runs of each of `runs`, each of which returns the
% seconds it took. The runs take turns, so that a load that comes and goes
% on the machine weighs on each alike and their ratios hold better than
% their times.
function t = median_times(runs, repeats)
  times = zeros(repeats, numel(runs));
  for r = 1:repeats
    for k = 1:numel(runs)
      times(r, k) = runs{k}();
    end
  end
  t = median(times, 1);
end
