% engine_builds: the engine as voxblur.oct compiles it beside the engine of
% the CMake build, whose passes voxblur_bench times: the same timing code
% (bench/engine_time.cpp), built once with the .oct's mkoctfile command
% (out/bench/engine_time.oct) and once linked with the CMake build's engine
% objects (out/bench/engine_time_cmake.oct). Both builds read
% cmake/engine_flags.txt, so the two times should stay within a few percent.
% One thread, 256^3, FWHM 2 and 8, the two taking turns in one session.
%
%   ./scripts/octave.sh --path bench --eval engine_builds
function engine_builds()
  shape = [256 256 256];
  fwhms = [2 8];
  factor = 4;
  repeats = 7;

  top = fileparts(fileparts(mfilename('fullpath')));
  addpath(fullfile(top, 'out', 'bench'));
  threads_before = getenv('VOXBLUR_THREADS');
  setenv('VOXBLUR_THREADS', '1');
  cleanup = onCleanup(@() restore_threads(threads_before));

  volume = 1000 * rand(shape);
  printf('The engine on one thread, %dx%dx%d, median of %d turns each:\n', shape, repeats);
  printf('%5s %10s %10s %11s\n', 'fwhm', '.oct ms', 'CMake ms', '.oct/CMake');
  for fwhm = fwhms
    % Once each first, so that both results are mapped before the timing.
    engine_time(volume, fwhm, factor);
    engine_time_cmake(volume, fwhm, factor);
    times = zeros(repeats, 2);
    for r = 1:repeats
      times(r, 1) = engine_time(volume, fwhm, factor);
      times(r, 2) = engine_time_cmake(volume, fwhm, factor);
    end
    t = median(times, 1);
    printf('%5g %10.1f %10.1f %10.3fx\n', fwhm, 1000 * t(1), 1000 * t(2), t(1) / t(2));
  end
end
