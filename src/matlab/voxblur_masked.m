function out = voxblur_masked(volume, mask, voxel_size, filter_size, varargin)
%VOXBLUR_MASKED  Smooth only the voxels that count: inside a mask, NaNs left out.
%
%   OUT = VOXBLUR_MASKED(VOLUME, MASK, VOXEL_SIZE, FILTER_SIZE)
%   OUT = VOXBLUR_MASKED(VOLUME, MASK, VOXEL_SIZE, FILTER_SIZE, FACTOR)
%
%   Smooths VOLUME as VOXBLUR does, over the present voxels only: those
%   where MASK is true and VOLUME is not NaN. Each output is the mean of the
%   present voxels within the kernel, weighted by the same Gaussian taps as
%   in VOXBLUR. A missing voxel adds nothing and pulls nothing toward zero:
%   the edge of a mask and a hole are treated as VOXBLUR treats a face of
%   the volume, and a constant region stays constant up to its edge.
%
%   VOLUME       a 3-D double array (of a complex one, the real part).
%   MASK         a logical or numeric array of the size of VOLUME, true
%                (nonzero) where a voxel counts; [] leaves out only the NaNs.
%   VOXEL_SIZE, FILTER_SIZE, FACTOR   as for VOXBLUR, which checks them.
%
%   OUT is a new double array of the size of VOLUME, NaN at every voxel
%   that is not present. VOLUME and MASK are not changed. The console shows
%   VOXBLUR's lines once, as one call of VOXBLUR prints them.
%
%   It is "normalised convolution": with S the call VOXBLUR(., VOXEL_SIZE,
%   FILTER_SIZE, FACTOR), V the volume with its missing voxels set to 0 and
%   P the present voxels as 1 and the others as 0, OUT = S(V) ./ S(P). Where
%   a kernel is cut at a face, VOXBLUR divides both by the same sum of taps,
%   which cancels. A call costs two VOXBLUR calls and a few passes over the
%   volume, two of them into fresh arrays.
%
%   The name is VOXBLUR's with what it adds, so that it lies beside VOXBLUR
%   in listings and completion; it is a function of its own rather than an
%   option of VOXBLUR, whose MEX files keep the arguments they have always
%   taken. The arguments are VOXBLUR's with the mask inserted after the
%   volume: the data first and its mask next, as in REGIONFILL(I, MASK) and
%   ACTIVECONTOUR(A, MASK); so a VOXBLUR call becomes a masked one by adding
%   one argument, and the optional FACTOR stays last.
%
%   Example: a region of 10 beside one of 50, smoothed within the first:
%      vol = 10 * ones(8, 8, 8);
%      vol(:, :, 5:8) = 50;
%      out = voxblur_masked(vol, vol == 10, [], [2 2 2]);
%      fprintf('%4g', out(4, 4, :)); fprintf('\n');
%   prints
%      GaussFiltering (Image volume: 8 x 8 x 8)
%      Filter kernel size (7, 7, 7 voxels)
%        10  10  10  10 NaN NaN NaN NaN
%
%   See also VOXBLUR, ISNAN.

if nargin < 4 || nargin > 5
    error('voxblur_masked:arguments', ...
          'voxblur_masked: takes 4 or 5 arguments (volume, mask, voxel_size, filter_size[, factor]), not %d', ...
          nargin);
end
if ~isa(volume, 'double')
    error('voxblur_masked:volume', ...
          'voxblur_masked: volume should be a double array, not %s; convert it with double(...)', ...
          class(volume));
end
if ~(islogical(mask) || isnumeric(mask))
    error('voxblur_masked:mask', 'voxblur_masked: mask should be logical or numeric, not %s', ...
          class(mask));
end
no_mask = isequal(size(mask), [0 0]);
if ~no_mask && ~isequal(size(mask), size(volume))
    error('voxblur_masked:mask', 'voxblur_masked: mask is %s, the volume %s: it should be the same size or []', ...
          size_text(mask), size_text(volume));
end
if ~islogical(mask) && any(isnan(mask(:)))
    error('voxblur_masked:mask', 'voxblur_masked: mask should be true or false at each voxel, not NaN');
end

if ~isreal(volume)
    volume = real(volume);
end
missing = isnan(volume);
if ~no_mask
    missing = missing | ~mask;
end
values = volume;
values(missing) = 0;
out = voxblur(values, voxel_size, filter_size, varargin{:});
% The weights in the same array, which holds 0 already where they do:
% each fresh array of a large volume costs time of its own, the system
% mapping its pages.
values(~missing) = 1;
% The same call again: its console lines would repeat the first's.
weights = [];
evalc('weights = voxblur(values, voxel_size, filter_size, varargin{:});');
clear values
% A present voxel reaches itself with a positive tap, so its weight is
% never 0; the others are set apart whatever they came to.
out = out ./ weights;
out(missing) = NaN;
end

function text = size_text(array)
text = sprintf('%dx', size(array));
text = text(1:end - 1);
end
