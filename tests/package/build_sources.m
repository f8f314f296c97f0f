## build_sources (ROOT, FOLDER, NAME, EXPECTED...)
##
## Runs voxblur_build.m of the source tree ROOT into FOLDER with a stand-in
## mkoctfile that records what it is asked to compile, and requires the
## sources of NAME.mex to be EXPECTED, the files that the CMake build
## compiles into that Octave MEX file (the gateway, the engine's source
## lists, the POSIX threads), as paths relative to ROOT in any order.
## Exits with 1 on failure.
function build_sources (root, folder, name, varargin)
  try
    global voxblur_build_arguments
    voxblur_build_arguments = {};
    warning ("off", "Octave:shadowed-function");
    addpath (fullfile (fileparts (mfilename ("fullpath")), "recording_mkoctfile"));
    addpath (root);
    voxblur_build (folder);
    calls = voxblur_build_arguments(cellfun (@(c) any (strcmp (c, [name ".mex"])),
                                             voxblur_build_arguments));
    if (numel (calls) != 1)
      error ("voxblur_build builds %s.mex %d times", name, numel (calls));
    endif
    given = calls{1};
    compiled = sort (strrep (given(! cellfun ("isempty", regexp (given, '\.cpp$'))),
                             [root filesep], ""));
    expected = sort (varargin);
    if (! isequal (compiled, expected))
      error ("voxblur_build compiles for %s\n  %s\nwhere the CMake build compiles\n  %s",
             name, strjoin (compiled, " "), strjoin (expected, " "));
    endif
  catch failure
    fprintf (stderr, "build_sources: %s\n", failure.message);
    exit (1);
  end_try_catch
  printf ("voxblur_build compiles the %d sources of the CMake build into %s.mex\n",
          numel (compiled), name);
endfunction
