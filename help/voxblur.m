%VOXBLUR  Smooth a 3-D volume with a Gaussian given as a FWHM per axis.
%
%   OUT = VOXBLUR(VOLUME, VOXEL_SIZE, FILTER_SIZE)
%   OUT = VOXBLUR(VOLUME, VOXEL_SIZE, FILTER_SIZE, FACTOR)
%
%   VOLUME       a 3-D array, nx x ny x nz, read as double (of a complex
%                volume only the real part). At most 1023 samples along
%                each axis.
%   VOXEL_SIZE   [dx dy dz], the extent of one voxel along x, y and z, in
%                the units of FILTER_SIZE (for example mm). [] means that
%                FILTER_SIZE is given in voxels.
%   FILTER_SIZE  [fx fy fz], the full width at half maximum (FWHM) of the
%                Gaussian along x, y and z, in the units of VOXEL_SIZE, or
%                in voxels when VOXEL_SIZE is [].
%   FACTOR       the kernel length in FWHMs; 4 when absent or []. It is
%                rounded as FACTOR + 0.5 truncated toward zero (2.5 gives 3,
%                2.4 gives 2).
%   A vector may be a row or a column; of a 3 x 3 array the first column is
%   used.
%
%   The kernel along each axis is FACTOR x FWHM (in voxels) + 0.5 taps,
%   truncated, made odd and at least 3, cut to the axis length (to an odd
%   length; an axis of 1 or 2 samples is left as it is), and at most 99
%   taps: a longer kernel is cut to 99 with a warning.
%
%   Near a face of the volume each 1-D kernel is cut to the voxels that
%   exist and divided by the sum of the taps left, so an edge value is a
%   weighted mean of real voxels: nothing is padded or mirrored. A constant
%   volume stays constant; the sum over the volume is not kept.
%
%   OUT is a new double array of the size of VOLUME; VOLUME is not changed.
%   A call with an axis of length 0 returns an empty array of that size.
%
%   Each call prints two lines (KX, KY, KZ are the kernel lengths):
%      GaussFiltering (Image volume: NX x NY x NZ)
%      Filter kernel size (KX, KY, KZ voxels)
%   and, before the second, for each kernel cut to 99 taps:
%      WARNING gauss_filter(): Large kernel truncated ( K > 100 voxels)
%   A wrong argument or an axis longer than 1023 ends the call with an
%   error that names the check (see the README).
%
%   Example: voxels of 1.5 x 1.5 x 3 mm smoothed with a 6 mm FWHM, that is
%   4, 4 and 2 voxels:
%      vol = rand(64, 64, 32);
%      out = voxblur(vol, [1.5 1.5 3], [6 6 6]);
%   prints
%      GaussFiltering (Image volume: 64 x 64 x 32)
%      Filter kernel size (17, 17, 9 voxels)
%
%   See also SMOOTH3, CONVN.

% This file holds only the help text: a MEX file carries none of its own.
% Kept in the same folder as voxblur's MEX file, it is shadowed by it, so
% a call runs the MEX file and "help voxblur" reads this text.
