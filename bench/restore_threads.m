% restore_threads(value): VOXBLUR_THREADS back to VALUE, as getenv read it
% before a benchmark set it ('' where it was unset).
function restore_threads(value)
  if isempty(value)
    unsetenv('VOXBLUR_THREADS');
  else
    setenv('VOXBLUR_THREADS', value);
  end
end
