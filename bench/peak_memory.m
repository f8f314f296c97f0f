% peak_memory(kind): how much one call on a 256^3 volume (FWHM 2) raises
% this process's peak resident memory, against the size of one result.
% kind is 'oct' (out/octave/voxblur.oct) or 'mex' (the MEX build,
% out/octave-mex/voxblur.mex) on a double volume (a result of 128 MiB), or
% 'voxsmooth' (out/octave/voxsmooth.oct) on a uint16 volume, which it
% converts as it reads it (a single result of 64 MiB; a converted copy of
% the data would add one more). Run each in a fresh Octave, in which
% nothing before the call reached a higher peak:
%
%   ./scripts/octave.sh --path bench --eval "peak_memory('oct')"
%   ./scripts/octave.sh --path bench --eval "peak_memory('mex')"
%   ./scripts/octave.sh --path bench --eval "peak_memory('voxsmooth')"
function peak_memory(kind)
  top = fileparts(fileparts(mfilename('fullpath')));
  folders = struct('oct', 'octave', 'mex', 'octave-mex', 'voxsmooth', 'octave');
  addpath(fullfile(top, 'out', folders.(kind)));
  if strcmp(kind, 'voxsmooth')
    function_name = 'voxsmooth';
    % Slice by slice: a double volume on the way would leave the peak
    % above the resident size before the call.
    volume = zeros(256, 256, 256, 'uint16');
    for z = 1:256
      volume(:, :, z) = uint16(65535 * rand(256, 256));
    end
    result_mib = numel(volume) * 4 / 2^20;
    call = 'out = voxsmooth(volume, [], [2 2 2]);';
  else
    function_name = 'voxblur';
    volume = rand(256, 256, 256);
    result_mib = numel(volume) * 8 / 2^20;
    call = 'out = voxblur(volume, [], [2 2 2]);';
  end
  extensions = struct('oct', '.oct', 'mex', '.mex', 'voxsmooth', '.oct');
  [~, ~, extension] = fileparts(which(function_name));
  if ~strcmp(extension, extensions.(kind))
    error('peak_memory: %s is %s, not the %s', function_name, which(function_name), ...
          extensions.(kind));
  end

  before = resident_kib();
  peak_before = getrusage().maxrss;
  out = [];
  evalc(call);
  peak_after = getrusage().maxrss;
  if peak_before > before + 1024
    printf('(the peak before the call, %.1f MiB, was above the resident size, %.1f MiB)\n', ...
           peak_before / 1024, before / 1024);
  end
  grown = (peak_after - before) / 1024;
  printf('%s: a 256^3 call raised the peak resident memory by %.1f MiB, %.2f results of %.0f MiB\n', ...
         which(function_name), grown, grown / result_mib, result_mib);
end

% This process's resident memory now, in KiB, as getrusage counts its peak
% (Linux).
function kib = resident_kib()
  status = fileread('/proc/self/status');
  kib = sscanf(status(strfind(status, 'VmRSS:') + 6:end), '%d', 1);
end
