## packaged_call (FOLDER)
##
## Run in an Octave whose path holds voxblur only in FOLDER (an installed or
## unpacked package): checks that voxblur is FOLDER's voxblur.oct, that
## "help voxblur" shows its help text, and that one call prints
## and returns what it must; the same of voxblur_masked. Exits with 1 on the first failure.
function packaged_call (folder)
  try
    [where, ~, extension] = fileparts (which ("voxblur"));
    assert (canonicalize_file_name (where), canonicalize_file_name (folder));
    assert (extension, ".oct");

    shown = evalc ("help voxblur");
    assert (! isempty (strfind (shown, "VOXBLUR  Smooth a 3-D volume")),
            "help voxblur does not show the help file:\n%s", shown);

    ## The impulse at the centre of a 5 x 5 x 5 volume, FWHM 2 voxels: each
    ## axis has 5 taps, and the 1-D response renormalised at both ends is
    ## 0.04 0.242424 0.470588 0.242424 0.04 (to six places).
    volume = zeros (5, 5, 5);
    volume(3, 3, 3) = 1;
    kept = volume;
    console = evalc ("out = voxblur (volume, [], [2 2 2]);");
    assert (console, ["GaussFiltering (Image volume: 5 x 5 x 5)\n", ...
                      "Filter kernel size (5, 5, 5 voxels)\n"]);
    line = [0.04 0.242424 0.470588 0.242424 0.04];
    expected = line(:) .* line .* reshape (line, 1, 1, []);
    assert (class (out), "double");
    assert (out, expected, 1e-6);
    assert (volume, kept);

    ## voxblur_masked lies beside it, with its help, and calls it: masked to
    ## the impulse alone, the volume is 1 there and NaN elsewhere.
    assert (canonicalize_file_name (fileparts (which ("voxblur_masked"))),
            canonicalize_file_name (folder));
    shown = evalc ("help voxblur_masked");
    assert (! isempty (strfind (shown, "VOXBLUR_MASKED  Smooth only")),
            "help voxblur_masked does not show its help:\n%s", shown);
    console = evalc ("out = voxblur_masked (volume, volume > 0, [], [2 2 2]);");
    assert (console, ["GaussFiltering (Image volume: 5 x 5 x 5)\n", ...
                      "Filter kernel size (5, 5, 5 voxels)\n"]);
    expected = NaN (5, 5, 5);
    expected(3, 3, 3) = 1;
    assert (out, expected);
  catch failure
    fprintf (stderr, "packaged_call: %s\n", failure.message);
    exit (1);
  end_try_catch
  printf ("voxblur from %s: voxblur.oct, voxblur_masked, help texts and calls as expected\n", folder);
endfunction
