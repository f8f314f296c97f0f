## run_tests (FILE...)
##
## Runs the %! tests of each file with Octave's test function and prints
## one closing line, "N passed, M failed"; exits non-zero on any failure.
function run_tests (varargin)
  passed = 0;
  total = 0;
  for f = 1:numel (varargin)
    [n, nmax] = test (varargin{f}, "quiet", stdout);
    passed += n;
    total += nmax;
  endfor
  printf ("%d passed, %d failed\n", passed, total - passed);
  exit (passed != total);
endfunction
