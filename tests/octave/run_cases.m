## run_cases (CASE_FILE, RESULT_FILE, FUNCTION_FILE)
##
## Runs every gateway case of CASE_FILE (the stand-in loader's case format)
## through the function of FUNCTION_FILE (voxblur or voxsmooth, as .oct or
## as MEX file) in this Octave session and writes what happened in the
## loader's result format, so that one table checks both hosts. Fails
## unless that name calls FUNCTION_FILE.
function run_cases (case_file, result_file, function_file)
  [~, name] = fileparts (function_file);
  if (! strcmp (canonicalize_file_name (which (name)),
                canonicalize_file_name (function_file)))
    error ("run_cases: %s is '%s', not '%s'", name, which (name), function_file);
  endif
  tokens = strsplit (strtrim (fileread (case_file)));
  function_name = name;
  out = fopen (result_file, "w");
  unwind_protect
    i = 1;
    while (i <= numel (tokens))
      if (! strcmp (tokens{i}, "case"))
        error ("run_cases: expected 'case', read '%s'", tokens{i});
      endif
      name = tokens{i+1};
      i += 2;
      first = i;
      args = {};
      while (! strcmp (tokens{i}, "call"))
        [args{end+1}, i] = read_argument (tokens, i + 1);
      endwhile
      i += 1;
      run_one (out, function_name, name, args, tokens, first);
    endwhile
  unwind_protect_cleanup
    fclose (out);
  end_unwind_protect
endfunction

function run_one (out, function_name, name, args, tokens, first)
  result = [];
  err = "";
  console = evalc ("try, result = feval (function_name, args{:}); catch caught, err = caught.message; end");

  fprintf (out, "case %s\n", name);
  fprintf (out, "console %s\n", escaped (console));
  if (! isempty (err))
    fprintf (out, "error %s\n", escaped (err));
  else
    fprintf (out, "output %d", ndims (result));
    fprintf (out, " %d", size (result));
    if (! isa (result, "double"))
      fprintf (out, "\nclass %s", class (result));
    endif
    fprintf (out, "\nvalues %d", numel (result));
    fprintf (out, " %.17g", double (result(:)));
    fprintf (out, "\n");
  endif

  ## The arguments as they were built, to tell whether the call wrote
  ## into any of them.
  fresh = {};
  i = first;
  while (! strcmp (tokens{i}, "call"))
    [fresh{end+1}, i] = read_argument (tokens, i + 1);
  endwhile
  if (isequaln (args, fresh))
    fprintf (out, "inputs unchanged\nend\n");
  else
    fprintf (out, "inputs changed\nend\n");
  endif
endfunction

## arg CLASS COMPLEX SPARSE NDIM DIM... VALUE... starting at tokens{i}
function [value, i] = read_argument (tokens, i)
  class_name = tokens{i};
  is_complex = str2double (tokens{i+1});
  is_sparse = str2double (tokens{i+2});
  ndim = str2double (tokens{i+3});
  dims = str2double (tokens(i+4 : i+3+ndim));
  i += 4 + ndim;
  count = prod (dims);
  value = reshape (str2double (tokens(i : i+count-1)), dims);
  i += count;
  if (is_complex)
    value = complex (value, reshape (str2double (tokens(i : i+count-1)), dims));
    i += count;
  endif
  if (is_sparse)
    value = sparse (value);
  endif
  switch (class_name)
    case "double"
    case "logical"
      value = logical (value);
    case "char"
      value = char (value);
    otherwise
      value = cast (value, class_name);
  endswitch
endfunction

function text = escaped (text)
  text = strrep (text, "\\", "\\\\");
  text = strrep (text, "\n", "\\n");
endfunction
