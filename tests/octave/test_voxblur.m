## Tests of voxblur in GNU Octave, against results computed here in Octave
## itself. Run with test ("test_voxblur").

## A Gaussian of the given FWHM sampled at offsets -h..h, summing to 1.
%!function k = gaussian (fwhm, taps)
%!  x = (0:taps-1) - (taps - 1) / 2;
%!  k = exp (-x.^2 / (2 * max (fwhm^2 / (8 * log (2)), 1e-4)));
%!  k = k / sum (k);
%!endfunction

## Weighted mean over the taps that exist, one line at a time.
%!function out = renormalised_line (line, k)
%!  n = numel (line);
%!  h = (numel (k) - 1) / 2;
%!  out = zeros (size (line));
%!  for i = 1:n
%!    j = max (1, i - h):min (n, i + h);
%!    w = k(j - i + h + 1);
%!    out(i) = sum (w(:) .* line(j)(:)) / sum (w);
%!  endfor
%!endfunction

%!function msg = message_of (varargin)
%!  msg = "";
%!  try
%!    evalc ("voxblur (varargin{:});");
%!  catch caught
%!    msg = caught.message;
%!  end_try_catch
%!endfunction

%!test
%! ## The interior equals three chained 1-D convolutions.
%! v = rand (24, 20, 18);
%! out = voxblur (v, [], [2 3 1.5]);       # kernels of 9, 13 and 7 taps
%! ref = convn (v, gaussian (2, 9)(:), "valid");
%! ref = convn (ref, gaussian (3, 13), "valid");
%! ref = convn (ref, reshape (gaussian (1.5, 7), 1, 1, []), "valid");
%! assert (out(5:end-4, 7:end-6, 4:end-3), ref, 1e-12);

%!test
%! ## Edges are weighted means of the samples that exist, along every axis.
%! v = rand (11, 2, 2);
%! out = voxblur (v, [], [2 2 2]);        # y and z have 2 samples: 1 tap
%! k = gaussian (2, 9);
%! for y = 1:2
%!   for z = 1:2
%!     assert (out(:, y, z), renormalised_line (v(:, y, z), k), 1e-13);
%!   endfor
%! endfor
%! v = rand (2, 2, 12);
%! out = voxblur (v, [1 1 0.5], [1 1 1]);  # FWHM 2 voxels along z
%! assert (squeeze (out(2, 1, :)), renormalised_line (squeeze (v(2, 1, :)), k), 1e-13);

%!test
%! ## The worked impulse: products of 0.04 0.242424 0.470588 0.242424 0.04.
%! v = zeros (5, 5, 5);
%! v(3, 3, 3) = 1;
%! out = voxblur (v, [], [2 2 2]);
%! assert (out(3, 3, 3), 0.104213, 5e-7);
%! assert (out(1, 1, 1), 0.000064, 5e-7);
%! assert (sum (out(:)), 1.1101, 5e-5);

%!test
%! ## Voxel size in mm turns a filter size in mm into voxels.
%! v = rand (9, 8, 7);
%! assert (voxblur (v, [2 2 2], [8 8 8]), voxblur (v, [], [4 4 4]));
%! assert (voxblur (v, [1; 2; 4], [4 4 4]), voxblur (v, [], [4 2 1]));
%! assert (voxblur (v, [], [2 2 2], []), voxblur (v, [], [2 2 2], 4));

%!test
%! ## The two console lines, exactly.
%! v = rand (30, 20, 10);
%! text = evalc ("voxblur (v, [], [2 1 0.5]);");
%! assert (text, ["GaussFiltering (Image volume: 30 x 20 x 10)\n", ...
%!                "Filter kernel size (9, 5, 3 voxels)\n"]);
%! text = evalc ("voxblur (zeros (200, 3, 3), [], [30 1 1]);");
%! assert (text, ["GaussFiltering (Image volume: 200 x 3 x 3)\n", ...
%!                "WARNING gauss_filter(): Large kernel truncated ( 121 > 100 voxels)\n", ...
%!                "Filter kernel size (99, 3, 3 voxels)\n"]);

%!test
%! ## Every message says "voxblur: " once.
%! v = rand (4, 4, 4);
%! assert (message_of (v, []), "voxblur: No of input arguments should be 3 or 4");
%! assert (message_of (v, [1 1], [1 1 1]), "voxblur: Voxel size should have dimension 3 or []");
%! assert (message_of (v, [], [1 1]), "voxblur: Filter size should have dimension 3");
%! assert (message_of (v, [], [1 1 1], [1 2]),
%!         "voxblur: Multiplication factor for filter dimension should have dimension 1 or []");
%! assert (message_of (rand (4, 4), [], [1 1 1]), "voxblur: Input volume is not a volume");
%! assert (message_of (zeros (1024, 1, 2), [], [1 1 1]),
%!         "voxblur: gauss_filter(): Image dimension 1024 > 1024");

%!test
%! ## A complex volume: its real part, filtered, comes back real.
%! re = rand (6, 5, 4);
%! out = voxblur (complex (re, rand (6, 5, 4)), [], [2 2 2]);
%! assert (isreal (out));
%! assert (out, voxblur (re, [], [2 2 2]));

%!test
%! ## The input is left as it was; an empty axis gives an empty result.
%! v = rand (7, 6, 5);
%! kept = v;
%! voxblur (v, [1 1 1], [3 3 3]);
%! assert (v, kept);
%! assert (size (voxblur (zeros (4, 0, 3), [], [2 2 2])), [4 0 3]);

%!test
%! ## Octave's dimensions are 64-bit; one beyond 32 bits is refused as too
%! ## large, not wrapped around to a small length.
%! assert (message_of (zeros (2^32 + 5, 0, 2), [], [1 1 1]),
%!         "voxblur: gauss_filter(): Image dimension 2147483647 > 1024");
%! assert (message_of (zeros (3, 0, 2^31), [], [1 1 1]),
%!         "voxblur: gauss_filter(): Image dimension 2147483647 > 1024");

## Indented lines of TEXT after the first line that starts with FIRST (or
## is exactly FIRST), up to the first line that is not indented as deeply.
%!function block = indented_after (lines, first, indent)
%!  start = find (strncmp (strtrim (lines), first, numel (first)), 1);
%!  block = {};
%!  for i = start+1:numel (lines)
%!    if (strncmp (lines{i}, blanks (indent), indent))
%!      block{end+1} = strtrim (lines{i});
%!    elseif (! isempty (block))
%!      break;
%!    endif
%!  endfor
%!endfunction

%!test
%! ## voxblur is the file under test (VOXBLUR_OCTAVE_FILE, when given): the
%! ## .oct, or the MEX file with voxblur.m beside it; either way help shows
%! ## the whole first comment block of help/voxblur.m.
%! [folder, ~, extension] = fileparts (which ("voxblur"));
%! wanted = getenv ("VOXBLUR_OCTAVE_FILE");
%! if (isempty (wanted))
%!   assert (any (strcmp (extension, {".oct", ".mex"})));
%! else
%!   assert (canonicalize_file_name (which ("voxblur")), canonicalize_file_name (wanted));
%! endif
%! if (strcmp (extension, ".mex"))
%!   assert (exist (fullfile (folder, "voxblur.m"), "file"));
%! endif
%! help_file = fullfile (fileparts (file_in_loadpath ("test_voxblur.m")), "..", "..", "help", "voxblur.m");
%! lines = regexp (fileread (help_file), "\n", "split");
%! comment = strncmp (lines, "%", 1);
%! last = find (! comment, 1) - 1;
%! text = strjoin (cellfun (@(l) l(2:end), lines(1:last), "uniformoutput", false), "\n");
%! shown = evalc ("help voxblur");
%! assert (! isempty (strfind (shown, text)), "help voxblur shows:\n%s", shown);
%! assert (evalc ("voxblur (ones (3, 3, 3), [], [1 1 1]);"),
%!         "GaussFiltering (Image volume: 3 x 3 x 3)\nFilter kernel size (3, 3, 3 voxels)\n");

%!test
%! ## The example in the help text prints what the help says it prints.
%! lines = regexp (evalc ("help voxblur"), "\n", "split");
%! code = indented_after (lines, "Example", 6);
%! printed = indented_after (lines, "prints", 6);
%! assert (numel (code) >= 1 && numel (printed) == 2);
%! assert (evalc (strjoin (code, "\n")), [strjoin(printed, "\n"), "\n"]);

%!test
%! ## So does the worked example of the README: the code block under
%! ## "## A worked example" and the text block after it.
%! readme = fullfile (fileparts (file_in_loadpath ("test_voxblur.m")), "..", "..", "README.md");
%! text = fileread (readme);
%! section = text(strfind (text, "\n## A worked example")(1):end);
%! blocks = regexp (section, "```(\\w+)\n(.*?)```", "tokens");
%! assert (blocks{1}{1}, "matlab");
%! assert (blocks{2}{1}, "text");
%! assert (evalc (blocks{1}{2}), blocks{2}{2});

%!test
%! ## As docs/speed.md says: away from the faces voxblur equals smooth3 with
%! ## the same kernel lengths and sd = FWHM / sqrt (8 ln 2); at the faces
%! ## smooth3 replicates edge voxels and the two differ.
%! v = rand (30, 28, 26);
%! out = voxblur (v, [], [2 3 1.5]);       # kernels of 9, 13 and 7 taps
%! ref = smooth3 (v, "gaussian", [9 13 7], [2 3 1.5] / sqrt (8 * log (2)));
%! assert (out(5:end-4, 7:end-6, 4:end-3), ref(5:end-4, 7:end-6, 4:end-3), 1e-13);
%! assert (max (abs (out(:) - ref(:))) > 1e-3);

%!test
%! ## A single image, smoothed as two equal slices (README, Limits).
%! img = rand (12, 10);
%! out = voxblur (cat (3, img, img), [], [4 4 0]);
%! assert (out(:, :, 1), out(:, :, 2));
%! assert (out(:, :, 1), voxblur (repmat (img, [1 1 5]), [], [4 4 0])(:, :, 3), 1e-14);

%!test
%! ## Arrays that only Octave can make, none of them full double: cells,
%! ## structs, a logical sparse scalar, a function handle. Each
%! ## is refused by name, after every shape check.
%! v = rand (4, 4, 4);
%! assert (message_of (cell (4, 4, 4), [], [1 1 1]),
%!         "voxblur: Input volume should be a full double array");
%! assert (message_of (v, [], {1, 2, 3}), "voxblur: Filter size should be a full double array");
%! assert (message_of (v, struct ("a", {1, 2, 3}), [1 1 1]),
%!         "voxblur: Voxel size should be a full double array");
%! assert (message_of (v, [], [1 1 1], sparse (true)),
%!         "voxblur: Multiplication factor for filter dimension should be a full double array");
%! assert (message_of (v, [], [1 1 1], @sin),
%!         "voxblur: Multiplication factor for filter dimension should be a full double array");
%! assert (message_of (cell (4, 4), [], {1, 2, 3}), "voxblur: Input volume is not a volume");

%!test
%! ## Empty voxel sizes and factors of any class mean [].
%! v = rand (6, 5, 4);
%! want = voxblur (v, [], [2 2 2]);
%! assert (voxblur (v, zeros (0, 3), [2 2 2]), want);
%! assert (voxblur (v, {}, [2 2 2]), want);
%! assert (voxblur (v, "", [2 2 2], int8 (zeros (1, 0))), want);
%! assert (voxblur (v, sparse (zeros (3, 0)), [2 2 2], {}), want);
%! assert (message_of (v, [], zeros (3, 0)), "voxblur: Filter size should have dimension 3");

%!test
%! ## voxblur.oct on Linux asks for transparent huge pages for a result that
%! ## holds whole 2 MiB pages: while the result lives, one more mapping
%! ## carries the advice (VmFlags "hg").
%! [~, ~, extension] = fileparts (which ("voxblur"));
%! if (strcmp (extension, ".oct") && exist ("/proc/self/smaps", "file"))
%!   advised = @() numel (regexp (fileread ("/proc/self/smaps"), "VmFlags:[^\n]* hg", "match"));
%!   before = advised ();
%!   evalc ("out = voxblur (zeros (100, 100, 100), [], [1 1 1]);");
%!   assert (advised (), before + 1);
%! endif
