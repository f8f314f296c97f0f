## built_from_source (UNPACKED, FOLDER, CASE_FILE, RESULT_FILE, REFERENCE_FILE)
##
## Builds voxblur with voxblur_build.m of the unpacked release bundle
## UNPACKED into FOLDER, as a user would from another folder; runs the case
## table CASE_FILE through the new MEX file into RESULT_FILE, and requires
## it to be REFERENCE_FILE (what our Octave MEX build gave) to the last
## character, so to the last bit of every value. Exits with 1 on failure.
function built_from_source (unpacked, folder, case_file, result_file, reference_file)
  try
    if (exist (folder, "dir"))
      confirm_recursive_rmdir (false, "local");
      rmdir (folder, "s");
    endif
    ## The bundle's own MEX files must not be what the cases call.
    addpath (unpacked);
    mex_file = voxblur_build (folder);
    rmpath (unpacked);
    addpath (folder);
    assert (exist (fullfile (folder, "voxblur.m"), "file") != 0, "no voxblur.m beside the MEX file");
    assert (exist (fullfile (folder, "voxblur_masked.m"), "file") != 0,
            "no voxblur_masked.m beside the MEX file");

    run_cases (case_file, result_file, mex_file);
    results = strsplit (fileread (result_file), "\n");
    reference = strsplit (fileread (reference_file), "\n");
    if (! isequal (results, reference))
      n = min (numel (results), numel (reference));
      first = find (! strcmp (results(1:n), reference(1:n)), 1);
      if (isempty (first))
        error ("%s has %d lines, %s %d", result_file, numel (results), reference_file,
               numel (reference));
      endif
      shown = @(line) line(1:min (end, 160));
      error ("line %d differs:\n  %s\n  %s (%s)", first, shown (results{first}),
             shown (reference{first}), reference_file);
    endif
  catch failure
    fprintf (stderr, "built_from_source: %s\n", failure.message);
    exit (1);
  end_try_catch
  printf ("voxblur_build from %s: all %d lines of the case results as our Octave MEX build's\n",
          unpacked, numel (results));
endfunction
