% peak_memory(kind): how much one call of voxblur on a 256^3 volume (FWHM 2)
% raises this process's peak resident memory, against the size of one
% result (128 MiB). kind is 'oct' (out/octave/voxblur.oct) or 'mex' (the
% MEX build, out/octave-mex/voxblur.mex). Run each in a fresh Octave, in
% which nothing before the call reached a higher peak:
%
%   ./scripts/octave.sh --path bench --eval "peak_memory('oct')"
%   ./scripts/octave.sh --path bench --eval "peak_memory('mex')"
function peak_memory(kind)
  top = fileparts(fileparts(mfilename('fullpath')));
  folders = struct('oct', 'octave', 'mex', 'octave-mex');
  addpath(fullfile(top, 'out', folders.(kind)));
  [~, ~, extension] = fileparts(which('voxblur'));
  if ~strcmp(extension, ['.' kind])
    error('peak_memory: voxblur is %s, not the .%s', which('voxblur'), kind);
  end

  volume = rand(256, 256, 256);
  result_mib = numel(volume) * 8 / 2^20;
  before = resident_kib();
  peak_before = getrusage().maxrss;
  out = [];
  evalc('out = voxblur(volume, [], [2 2 2]);');
  peak_after = getrusage().maxrss;
  if peak_before > before + 1024
    printf('(the peak before the call, %.1f MiB, was above the resident size, %.1f MiB)\n', ...
           peak_before / 1024, before / 1024);
  end
  grown = (peak_after - before) / 1024;
  printf('%s: a 256^3 call raised the peak resident memory by %.1f MiB, %.2f results of %.0f MiB\n', ...
         which('voxblur'), grown, grown / result_mib, result_mib);
end

% This process's resident memory now, in KiB, as getrusage counts its peak
% (Linux).
function kib = resident_kib()
  status = fileread('/proc/self/status');
  kib = sscanf(status(strfind(status, 'VmRSS:') + 6:end), '%d', 1);
end
