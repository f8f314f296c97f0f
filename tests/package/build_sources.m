## build_sources (ROOT, FOLDER, EXPECTED...)
##
## Runs voxblur_build.m of the source tree ROOT into FOLDER with a stand-in
## mkoctfile that records what it is asked to compile, and requires the
## sources to be EXPECTED, the files that the CMake build compiles into the
## Octave MEX file (the gateway, the engine's source list, the POSIX
## threads), as paths relative to ROOT in any order. Exits with 1 on
## failure.
function build_sources (root, folder, varargin)
  try
    global voxblur_build_arguments
    voxblur_build_arguments = {};
    warning ("off", "Octave:shadowed-function");
    addpath (fullfile (fileparts (mfilename ("fullpath")), "recording_mkoctfile"));
    addpath (root);
    voxblur_build (folder);
    given = voxblur_build_arguments;
    compiled = sort (strrep (given(! cellfun ("isempty", regexp (given, '\.cpp$'))),
                             [root filesep], ""));
    expected = sort (varargin);
    if (! isequal (compiled, expected))
      error ("voxblur_build compiles\n  %s\nwhere the CMake build compiles\n  %s",
             strjoin (compiled, " "), strjoin (expected, " "));
    endif
  catch failure
    fprintf (stderr, "build_sources: %s\n", failure.message);
    exit (1);
  end_try_catch
  printf ("voxblur_build compiles the %d sources of the CMake build\n", numel (compiled));
endfunction
