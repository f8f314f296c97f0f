%VOXSMOOTH  Gaussian smoothing of images, volumes and series of any class and size.
%
%   OUT = VOXSMOOTH(DATA, VOXEL_SIZE, FWHM)
%   OUT = VOXSMOOTH(DATA, VOXEL_SIZE, FWHM, Name, Value, ...)
%
%   Smooths DATA as VOXBLUR does, with the same kernels and the same
%   weighted means at the faces, for every array a user has:
%
%   DATA        a full real array of any numeric class or logical. A 2-D
%               array is one image, smoothed in x and y; a 3-D array one
%               volume; in an N-D array each volume DATA(:,:,:,k,...) is
%               smoothed on its own (a time series, say). Axes of any
%               length.
%   VOXEL_SIZE  [] (FWHM in voxels), one value for all axes, or [dx dy dz],
%               each positive.
%   FWHM        one value or [fx fy fz], the full width at half maximum in
%               the units of VOXEL_SIZE (or in voxels), each 0 or more.
%
%   Options, as name-value pairs (names in any case):
%   'Factor'    the kernel length in FWHMs, 4 by default: FACTOR x FWHM +
%               0.5 taps, truncated, made odd and at least 3, cut to the
%               axis, as in VOXBLUR but with no 99-tap cap.
%   'Mask'      a logical array of one volume's size (or of DATA's size):
%               smooth over the voxels where it is true only. Each result is
%               the mean of those voxels, weighted by the kernel; NaN outside
%               the mask. [] (the default) for none.
%   'Threads'   at most this many threads; by default as many as the
%               processors this process may use.
%   'Verbose'   true prints VOXBLUR's two lines once per call:
%                  GaussFiltering (Image volume: NX x NY x NZ)
%                  Filter kernel size (KX, KY, KZ voxels)
%               false (the default) prints nothing.
%
%   OUT has the size of DATA and is double for double DATA, single for
%   every other class (an integer image is not rounded back). DATA is not
%   changed. NaN and Inf in DATA spread as in VOXBLUR; leave them out with
%   a mask (for example 'Mask', ~isnan(DATA)).
%
%   For double 3-D data within VOXBLUR's limits (axes up to 1023, kernels
%   up to 99 taps) the result has VOXBLUR's bits. Single results agree with
%   the double ones to about 1e-6 of the data's scale.
%
%   Example: a series of 5 volumes of 2 mm voxels, smoothed with 6 mm FWHM:
%      run = rand(16, 16, 8, 5);
%      out = voxsmooth(run, 2, 6, 'Verbose', true);
%      disp(size(out))
%   prints
%      GaussFiltering (Image volume: 16 x 16 x 8)
%      Filter kernel size (13, 13, 7 voxels)
%         16   16    8    5
%
%   See also VOXBLUR, VOXBLUR_MASKED.

% This file holds only the help text: a MEX file carries none of its own.
% Kept in the same folder as voxsmooth's MEX file, it is shadowed by it, so
% a call runs the MEX file and "help voxsmooth" reads this text.
