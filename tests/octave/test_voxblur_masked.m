## Tests of voxblur_masked in GNU Octave, against a weighted mean over each
## voxel's 3-D neighbourhood computed here voxel by voxel. Run with
## test ("test_voxblur_masked").

## The brute force is weighted_mean.m, beside this file.

%!function msg = message_of (varargin)
%!  msg = "";
%!  try
%!    evalc ("voxblur_masked (varargin{:});");
%!  catch caught
%!    msg = caught.message;
%!  end_try_catch
%!endfunction

%!test
%! ## voxblur_masked is the copy beside the voxblur under test.
%! wanted = getenv ("VOXBLUR_OCTAVE_FILE");
%! if (! isempty (wanted))
%!   assert (canonicalize_file_name (which ("voxblur")), canonicalize_file_name (wanted));
%!   assert (canonicalize_file_name (fileparts (which ("voxblur_masked"))),
%!           canonicalize_file_name (fileparts (wanted)));
%! endif

%!test
%! ## Against the brute force, within 1e-12 of each value; they agree to
%! ## about 2e-15 (all values are positive, so no sum cancels). Masks: a
%! ## function of the size, [] for none.
%! rand ("seed", 7);
%! cases = {
%!   ## size    voxel_size filter_size factor mask                                   NaN share
%!   [7 6 5],   [],        [2 2 2],    {},    @(n) rand(n) > 0.3,                   0    # random mask
%!   [6 7 5],   [1 2 1],   [3 3 1.5],  {},    [],                                    0.2  # only NaNs
%!   [8 5 6],   [],        [1.5 3 2],  {3},   @(n) rand(n) > 0.5,                   0.1  # both; factor 3
%!   [9 8 7],   [],        [3 3 3],    {},    @(n) rand(n) > 0.9,                   0    # sparse: some voxels alone
%!   [7 7 7],   [],        [2 2 2],    {},    @(n) repmat((1:7)' + (1:7) <= 4, 1, 1, 7), 0  # corner column, faces x, y
%!   [7 7 7],   [],        [2 2 2],    {},    @(n) cat(3, false(7, 7), true(7, 7), false(7, 7, 5)), 0  # one voxel thick
%!   [6 5 2],   [],        [4 1 9],    {},    @(n) rand(n) > 0.3,                   0.1  # kernels cut to the axes, z left alone
%!   [5 6 4],   [],        [2 2 2],    {},    @(n) round(3 * rand(n)) - 1,         0    # numeric mask: nonzero counts
%! };
%! for c = 1:rows (cases)
%!   [n, voxel_size, filter_size, factor, mask, nan_share] = cases{c, :};
%!   v = 1 + rand (n);
%!   v(rand (n) < nan_share) = NaN;
%!   present = ! isnan (v);
%!   if (! isempty (mask))
%!     mask = mask (n);
%!     present &= (mask != 0);
%!   endif
%!   fwhm = filter_size;
%!   if (! isempty (voxel_size))
%!     fwhm = filter_size ./ voxel_size;
%!   endif
%!   evalc ("out = voxblur_masked (v, mask, voxel_size, filter_size, factor{:});");
%!   ref = weighted_mean (v, present, fwhm, [factor{:}, 4](1));
%!   assert (isequal (isnan (out), ! present), "case %d: NaN where not present", c);
%!   assert (out(present), ref(present), -1e-12);
%!   ## A constant (with the same NaNs) stays constant inside every mask.
%!   evalc ("flat = voxblur_masked (7 + 0 * v, mask, voxel_size, filter_size, factor{:});");
%!   assert (flat(present), 7 * ones (nnz (present), 1), -4 * eps);
%! endfor

%!test
%! ## Without a missing voxel it is voxblur, to rounding: voxblur's weights
%! ## sum to 1 within a few units in the last place.
%! v = rand (9, 8, 7);
%! evalc ("out = voxblur_masked (v, true (9, 8, 7), [], [3 2 2]);");
%! evalc ("plain = voxblur (v, [], [3 2 2]);");
%! assert (out, plain, -4 * eps);
%! ## The real part of a complex volume, NaNs of the imaginary part ignored.
%! evalc ("out = voxblur_masked (complex (v, NaN (9, 8, 7)), [], [], [3 2 2]);");
%! assert (out, plain, -4 * eps);

%!test
%! ## Missing voxels are NaN, beside present ones or far from any; a value
%! ## outside the mask, however large, does not reach in; a constant region
%! ## stays constant up to the mask's edge and the faces.
%! v = 1e6 * rand (9, 9, 9);
%! mask = false (9, 9, 9);
%! mask(1:4, 2:6, 1:3) = true;
%! mask(7, 5, 6) = true;
%! v(mask) = 7;
%! v(3, 4, 2) = NaN;
%! kept = {v, mask};
%! evalc ("out = voxblur_masked (v, mask, [2 2 1], [4 5 6]);");
%! present = mask & ! isnan (v);
%! assert (isequal (isnan (out), ! present));
%! assert (out(present), 7 * ones (nnz (present), 1), -4 * eps);
%! assert (isequaln ({v, mask}, kept));

%!test
%! ## voxblur's console lines, its warning among them, once per call.
%! v = rand (200, 3, 3);
%! assert (evalc ("voxblur_masked (v, v > 0.5, [], [30 1 1]);"),
%!         evalc ("voxblur (v, [], [30 1 1]);"));

%!test
%! ## The function's own errors, then voxblur's for the arguments it checks.
%! v = rand (4, 4, 4);
%! errors = {
%!   {v, [], []},                 "voxblur_masked: takes 4 or 5 arguments (volume, mask, voxel_size, filter_size[, factor]), not 3"
%!   {v, [], [], [1 1 1], 4, 1},  "voxblur_masked: takes 4 or 5 arguments (volume, mask, voxel_size, filter_size[, factor]), not 6"
%!   {single(v), [], [], [1 1 1]}, "voxblur_masked: volume should be a double array, not single; convert it with double(...)"
%!   {v, "mask", [], [1 1 1]},    "voxblur_masked: mask should be logical or numeric, not char"
%!   {v, {}, [], [1 1 1]},        "voxblur_masked: mask should be logical or numeric, not cell"
%!   {v, true(4, 4), [], [1 1 1]}, "voxblur_masked: mask is 4x4, the volume 4x4x4: it should be the same size or []"
%!   {v, zeros(1, 0), [], [1 1 1]}, "voxblur_masked: mask is 1x0, the volume 4x4x4: it should be the same size or []"
%!   {v, NaN(4, 4, 4), [], [1 1 1]}, "voxblur_masked: mask should be true or false at each voxel, not NaN"
%!   {v, [], [1 1], [1 1 1]},     "voxblur: Voxel size should have dimension 3 or []"
%!   {v, [], [], [1 1]},          "voxblur: Filter size should have dimension 3"
%!   {v, [], [], [1 1 1], [1 2]}, "voxblur: Multiplication factor for filter dimension should have dimension 1 or []"
%!   {rand(4, 4), [], [], [1 1 1]}, "voxblur: Input volume is not a volume"
%! };
%! for e = 1:rows (errors)
%!   assert (message_of (errors{e, 1}{:}), errors{e, 2});
%! endfor

%!test
%! ## The example of docs/masks.md prints what it shows: the second code
%! ## block of docs/masks.md and the text block after it.
%! readme = fullfile (fileparts (file_in_loadpath ("test_voxblur_masked.m")), "..", "..", "docs", "masks.md");
%! text = fileread (readme);
%! section = text(strfind (text, "\n# Masks and missing voxels")(1):end);
%! blocks = regexp (section, "```(\\w+)\n(.*?)```", "tokens");
%! assert ({blocks{2}{1}, blocks{3}{1}}, {"matlab", "text"});
%! assert (evalc (blocks{2}{2}), blocks{3}{2});

%!test
%! ## So does the example of its help text.
%! lines = strsplit (evalc ("help voxblur_masked"), "\n");
%! example = find (strncmp (strtrim (lines), "Example", 7));
%! prints = find (strcmp (strtrim (lines), "prints"));
%! unindented = cellfun (@(line) line(7:end), lines, "uniformoutput", false);
%! code = strjoin (unindented(example+1:prints-1), "\n");
%! assert (evalc (code), sprintf ("%s\n", unindented{prints+1:prints+3}));
