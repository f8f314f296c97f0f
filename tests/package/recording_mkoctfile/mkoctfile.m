## A stand-in for Octave's mkoctfile that compiles nothing: it appends its
## arguments, one call's in a cell, to the global voxblur_build_arguments
## and reports success. Only build_sources puts it on the path, ahead of
## Octave's own.
function [output, status] = mkoctfile (varargin)
  global voxblur_build_arguments
  voxblur_build_arguments{end+1} = varargin;
  output = "";
  status = 0;
endfunction
