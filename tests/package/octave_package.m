## octave_package (TARBALL, FOLDER, CASE_FILE, RESULT_FILE)
##
## Installs the Octave package TARBALL with pkg into FOLDER, with package
## lists of its own there, so that the user's packages are neither seen nor
## touched; loads it; checks that voxblur is the package's voxblur.oct and
## voxblur_masked the package's m-file (which pkg puts apart from the
## .oct), voxsmooth the package's voxsmooth.oct, and that help shows the
## help of each; runs the gateway case table
## of CASE_FILE into RESULT_FILE; and uninstalls it, leaving nothing
## behind. Exits with 1 on the first failure.
function octave_package (tarball, folder, case_file, result_file)
  try
    confirm_recursive_rmdir (false);
    if (exist (folder, "dir"))
      rmdir (folder, "s");
    endif
    mkdir (folder);
    pkg ("prefix", fullfile (folder, "packages"), fullfile (folder, "packages-arch"));
    pkg ("local_list", fullfile (folder, "local-packages"));
    pkg ("global_list", fullfile (folder, "global-packages"));
    assert (isempty (pkg ("list")), "packages listed before the install");

    pkg ("install", tarball);
    pkg ("load", "voxblur");
    file = which ("voxblur");
    [~, ~, extension] = fileparts (file);
    assert (extension, ".oct");
    assert (strncmp (file, canonicalize_file_name (folder), numel (canonicalize_file_name (folder))),
            "voxblur is %s, not in %s", file, folder);
    shown = evalc ("help voxblur");
    assert (! isempty (strfind (shown, "VOXBLUR  Smooth a 3-D volume")),
            "help voxblur shows:\n%s", shown);
    masked = which ("voxblur_masked");
    assert (strncmp (masked, canonicalize_file_name (folder), numel (canonicalize_file_name (folder))),
            "voxblur_masked is %s, not in %s", masked, folder);
    shown = evalc ("help voxblur_masked");
    assert (! isempty (strfind (shown, "VOXBLUR_MASKED  Smooth only")),
            "help voxblur_masked shows:\n%s", shown);

    ## voxsmooth.oct beside voxblur.oct, with its help, and one call.
    smooth = which ("voxsmooth");
    assert (smooth, fullfile (fileparts (file), "voxsmooth.oct"));
    shown = evalc ("help voxsmooth");
    assert (! isempty (strfind (shown, "VOXSMOOTH  Gaussian smoothing")),
            "help voxsmooth shows:\n%s", shown);
    v = rand (6, 5, 4);
    evalc ("want = voxblur (v, [], [2 2 2]);");
    assert (isequal (voxsmooth (v, [], 2), want), "voxsmooth differs from voxblur");

    run_cases (case_file, result_file, file);

    pkg ("uninstall", "voxblur");
    assert (isempty (which ("voxblur")), "voxblur is still %s", which ("voxblur"));
    assert (isempty (pkg ("list")), "packages listed after the uninstall");
    assert (! exist (fileparts (file), "dir"), "%s is still there", fileparts (file));
  catch failure
    fprintf (stderr, "octave_package: %s\n", failure.message);
    exit (1);
  end_try_catch
  printf ("%s: installed, loaded, voxblur.oct, voxsmooth.oct and their help found, cases run, uninstalled\n",
          tarball);
endfunction
