## Tests of voxsmooth in GNU Octave: against voxblur's bits where voxblur
## can take the data, against itself across shapes, classes and threads,
## and against the brute force of weighted_mean.m beyond voxblur's limits
## and with masks. Its messages are in the case table
## (tests/host/smooth_gateway_tests.cpp). Run with test ("test_voxsmooth").

%!test
%! ## voxsmooth is the file under test.
%! wanted = getenv ("VOXSMOOTH_OCTAVE_FILE");
%! if (! isempty (wanted))
%!   assert (canonicalize_file_name (which ("voxsmooth")), canonicalize_file_name (wanted));
%! endif

%!test
%! ## 3-D double within voxblur's limits: voxblur's bits, NaN and Inf
%! ## spreading alike, with and without a factor.
%! rand ("seed", 1);
%! cases = {
%!   ## size        voxel_size  fwhm         factor
%!   [7 6 5],       [],         [2 3 4],     {}
%!   [24 20 18],    [1 2 1.5],  [4 6 3],     {}
%!   [30 3 2],      [],         [2 2 2],     {2.5}
%!   [13 9 11],     [2 2 2],    [3 5 2],     {7}
%!   [1 2 40],      [],         [9 9 9],     {0.3}
%!   [200 3 3],     [],         [20 1 1],    {}     # 81 taps, under the cap
%! };
%! for c = 1:rows (cases)
%!   [n, voxel_size, fwhm, factor] = cases{c, :};
%!   v = 100 * rand (n);
%!   v(3) = NaN;
%!   v(end) = Inf;
%!   evalc ("want = voxblur (v, voxel_size, fwhm, factor{:});");
%!   if (isempty (factor))
%!     got = voxsmooth (v, voxel_size, fwhm);
%!   else
%!     got = voxsmooth (v, voxel_size, fwhm, "Factor", factor{1});
%!   endif
%!   assert (isequaln (got, want), "case %d", c);
%! endfor

%!test
%! ## A series is its volumes' 3-D calls, on any number of threads, shared
%! ## by volume (small volumes) or by the passes (large ones); a 2-D image
%! ## is a 3-D call on one slice, which a z axis of 2 voxels (one tap)
%! ## gives too.
%! rand ("seed", 2);
%! small = rand (9, 8, 7, 3, 2);
%! large = rand (130, 130, 130, 2, "single");   # over 2^21 voxels a volume
%! for t = {1, 2, 3}
%!   s = voxsmooth (small, [], [2 3 2], "Threads", t{1});
%!   for k = 1:6
%!     assert (isequal (s(:,:,:,k), voxsmooth (small(:,:,:,k), [], [2 3 2])));
%!   endfor
%!   l = voxsmooth (large, 1, 2, "Threads", t{1});
%!   assert (isequal (l(:,:,:,2), voxsmooth (large(:,:,:,2), 1, 2, "Threads", 1)));
%! endfor
%! img = rand (17, 12);
%! evalc ("slice = voxblur (cat (3, img, img), [], [3 2 5]);");
%! assert (isequal (voxsmooth (img, [], [3 2 5]), slice(:,:,1)));

%!test
%! ## Every class as the double call on the same values, to the bound that
%! ## single arithmetic holds: measured at most 4.1e-7 of the largest
%! ## value on these, held at 1e-6. A ramp and a point source too.
%! rand ("seed", 3);
%! x = 200 * rand (23, 17, 11) - 50;
%! point = zeros (15, 15, 15);
%! point(8, 8, 8) = 1000;
%! classes = {"single", "int8", "uint8", "int16", "uint16", "int32", "uint32", ...
%!            "int64", "uint64", "logical"};
%! ramp = reshape (1:15^3, 15, 15, 15);
%! for data = {x, point, ramp}
%!   for c = classes
%!     v = cast (data{1}, c{1});
%!     got = voxsmooth (v, [1 1 2], [3 4 5]);
%!     want = voxsmooth (double (v), [1 1 2], [3 4 5]);
%!     assert (class (got), "single");
%!     scale = max (abs (double (v(:))));
%!     assert (max (abs (double (got(:)) - want(:))) <= 1e-6 * scale, "%s", c{1});
%!   endfor
%! endfor

%!test
%! ## Long axes and long kernels (201 and 241 taps), and masks, against the
%! ## brute force; they agree to about 1e-15 of the values.
%! rand ("seed", 4);
%! cases = {
%!   ## size         fwhm          factor mask
%!   [3000 3 2],     [60 1 1],     4,     []
%!   [2 3000 3],     [1 50 2],     4,     []
%!   [2 3 3000],     [1 1 25],     8,     []
%!   [1100 2 2],     [3 1 1],      4,     @(n) rand(n) > 0.5
%!   [9 8 7],        [3 3 3],      4,     @(n) rand(n) > 0.9   # some voxels alone
%!   [6 5 2],        [4 1 9],      4,     @(n) rand(n) > 0.3   # kernels cut to the axes
%! };
%! for c = 1:rows (cases)
%!   [n, fwhm, factor, mask] = cases{c, :};
%!   v = 1 + rand (n);
%!   present = true (n);
%!   options = {"Factor", factor};
%!   if (! isempty (mask))
%!     present = mask (n);
%!     options(end+1:end+2) = {"Mask", present};
%!   endif
%!   got = voxsmooth (v, [], fwhm, options{:});
%!   want = weighted_mean (v, present, fwhm, factor);
%!   assert (isequal (isnan (got), ! present), "case %d: NaN outside the mask", c);
%!   assert (got(present), want(present), -1e-13);
%! endfor

%!test
%! ## The mask path is voxblur_masked on its own cases, NaNs of the data
%! ## left out by the mask as voxblur_masked leaves them out: the same bits.
%! rand ("seed", 5);
%! cases = {
%!   [7 6 5],   [],       [2 2 2],    {},   0.3,  0
%!   [6 7 5],   [1 2 1],  [3 3 1.5],  {},   0,    0.2
%!   [8 5 6],   [],       [1.5 3 2],  {3},  0.5,  0.1
%!   [7 7 7],   [],       [2 2 2],    {},   0.9,  0
%! };
%! for c = 1:rows (cases)
%!   [n, voxel_size, fwhm, factor, cut, nan_share] = cases{c, :};
%!   v = 1 + rand (n);
%!   v(rand (n) < nan_share) = NaN;
%!   mask = rand (n) > cut;
%!   evalc ("want = voxblur_masked (v, mask, voxel_size, fwhm, factor{:});");
%!   options = {"Mask", mask & !isnan(v)};
%!   if (! isempty (factor))
%!     options(end+1:end+2) = {"Factor", factor{1}};
%!   endif
%!   assert (isequaln (voxsmooth (v, voxel_size, fwhm, options{:}), want), "case %d", c);
%! endfor

%!test
%! ## A mask for the whole series is each volume's own; a one-volume mask
%! ## serves every volume.
%! rand ("seed", 6);
%! s = rand (8, 7, 6, 3);
%! one = rand (8, 7, 6) > 0.4;
%! every = rand (8, 7, 6, 3) > 0.4;
%! a = voxsmooth (s, 2, 4, "Mask", one);
%! b = voxsmooth (s, 2, 4, "Mask", every, "Threads", 2);
%! for k = 1:3
%!   assert (isequaln (a(:,:,:,k), voxsmooth (s(:,:,:,k), 2, 4, "Mask", one)));
%!   assert (isequaln (b(:,:,:,k), voxsmooth (s(:,:,:,k), 2, 4, "Mask", every(:,:,:,k))));
%! endfor

%!test
%! ## What only Octave has: a range as sizes, cells and structs refused
%! ## by name.
%! v = rand (6, 5, 4);
%! assert (isequal (voxsmooth (v, 1:3, 4), voxsmooth (v, [1 2 3], 4)));
%! try
%!   voxsmooth ({v}, [], 2);
%! catch caught
%!   assert (caught.message, "voxsmooth: data should be a numeric or logical array, not cell");
%! end_try_catch
%! try
%!   voxsmooth (v, [], 2, "Mask", struct ());
%! catch caught
%!   assert (caught.message, "voxsmooth: 'Mask' should be a full logical array, not struct; for a numeric mask m, pass m ~= 0");
%! end_try_catch

%!test
%! ## The example of its help text prints what the help says it prints.
%! lines = strsplit (evalc ("help voxsmooth"), "\n");
%! example = find (strncmp (strtrim (lines), "Example", 7));
%! prints = find (strcmp (strtrim (lines), "prints"));
%! unindented = cellfun (@(line) line(7:end), lines, "uniformoutput", false);
%! code = strjoin (unindented(example+1:prints-1), "\n");
%! assert (evalc (code), sprintf ("%s\n", unindented{prints+1:prints+3}));

%!test
%! ## So does the README's example on a series: the second code block of
%! ## "## voxsmooth" and the text block after it.
%! readme = fullfile (fileparts (file_in_loadpath ("test_voxsmooth.m")), "..", "..", "README.md");
%! text = fileread (readme);
%! section = text(strfind (text, "\n## voxsmooth")(1):end);
%! blocks = regexp (section, "```(\\w+)\n(.*?)```", "tokens");
%! assert ({blocks{2}{1}, blocks{3}{1}}, {"matlab", "text"});
%! assert (evalc (blocks{2}{2}), blocks{3}{2});
