function mex_file = voxblur_build(folder)
%VOXBLUR_BUILD  Build voxblur and voxsmooth from source with this MATLAB's or Octave's mex.
%   VOXBLUR_BUILD builds the voxblur and voxsmooth MEX files for this host
%   and platform, puts them beside voxblur_build.m with voxblur.m and
%   voxsmooth.m (the help texts) and the functions written on top of
%   voxblur (voxblur_masked.m), and prints where they are.
%
%   VOXBLUR_BUILD(FOLDER) puts them in FOLDER instead, creating it.
%
%   MEX_FILE = VOXBLUR_BUILD(...) also returns voxblur's MEX file's path
%   (voxsmooth's lies beside it).
%
%   It needs the src, help and cmake folders that lie beside it, and a C++
%   compiler that this host's mex command can use (in MATLAB, see
%   "mex -setup C++"; in Octave, mkoctfile). It compiles the engine with
%   the settings of cmake/engine_flags.txt, as every build of voxblur does.
%   It runs from any folder.
%
%   The results are the same bits as those of the shipped 64-bit files
%   wherever the platform's exp gives the same bits: the sources forbid
%   fused multiply-adds and reassociation themselves, whatever flags the
%   host's mex command passes. Do not add -ffast-math.
%
%   See also voxblur, mex.

root = fileparts(mfilename('fullpath'));
if nargin < 1
    folder = root;
end
engine = fullfile(root, 'src', 'engine');
host_binding = fullfile(root, 'src', 'mex');
help_files = {fullfile(root, 'help', 'voxblur.m'), fullfile(root, 'help', 'voxsmooth.m')};
m_files = dir(fullfile(root, 'src', 'matlab', '*.m'));

% Every engine source, also one this file has never heard of, but of the
% threads_*.cpp only the one for this host (see threads_for).
listing = dir(fullfile(engine, '*.cpp'));
names = {listing.name};
names = names(~strncmp(names, 'threads_', 8));
if isempty(names)
    error('voxblur_build: no engine sources (*.cpp) in %s', engine);
end
names{end + 1} = threads_for();
sources = [{fullfile(host_binding, 'gateway.cpp')}, fullfile(engine, names)];
includes = {['-I' engine], ['-I' host_binding]};
flags_file = fullfile(root, 'cmake', 'engine_flags.txt');
% voxsmooth: the same, and the smoothing beyond voxblur's limits, which
% lies in a folder of its own (voxblur's MEX file does not take it).
smooth_engine = fullfile(engine, 'smooth');
listing = dir(fullfile(smooth_engine, '*.cpp'));
smooth_sources = [{fullfile(host_binding, 'voxsmooth_gateway.cpp')}, fullfile(engine, names), ...
                  fullfile(smooth_engine, {listing.name})];
smooth_includes = [includes, {['-I' smooth_engine]}];

if ~exist(folder, 'dir')
    [made, message] = mkdir(folder);
    if ~made
        error('voxblur_build: cannot create the folder %s: %s', folder, message);
    end
end
% The full path, for the messages and for addpath from anywhere.
here = cd(folder);
folder = pwd;
cd(here);
% A loaded copy would keep its file open, or be called instead of the new one.
clear('voxblur', 'voxsmooth');

if exist('OCTAVE_VERSION', 'builtin')
    mex_file = fullfile(folder, 'voxblur.mex');
    build_for_octave(folder, 'voxblur', includes, sources, flags_file);
    build_for_octave(folder, 'voxsmooth', smooth_includes, smooth_sources, flags_file);
    for name = {'voxblur', 'voxsmooth'}
        if exist(fullfile(folder, [name{1} '.oct']), 'file')
            warning('voxblur_build: %s also holds %s.oct, which Octave calls instead of %s.mex', ...
                    folder, name{1}, name{1});
        end
    end
else
    mex_file = fullfile(folder, ['voxblur.' mexext]);
    build_for_matlab(folder, 'voxblur', includes, sources, flags_file);
    build_for_matlab(folder, 'voxsmooth', smooth_includes, smooth_sources, flags_file);
end

for f = 1:numel(help_files)
    copy_beside(help_files{f}, folder);
end
for f = 1:numel(m_files)
    copy_beside(fullfile(root, 'src', 'matlab', m_files(f).name), folder);
end
[~, ~, extension] = fileparts(mex_file);
fprintf('voxblur_build: wrote %s and voxsmooth%s\n', mex_file, extension);
fprintf('voxblur_build: and beside them voxblur.m and voxsmooth.m, the help texts%s; addpath(''%s'') to use them\n', ...
        sprintf(', %s', m_files.name), folder);
if nargout == 0
    clear('mex_file');
end
end

% A file already in FOLDER (a build into its own source folder) stays.
function copy_beside(file, folder)
if strcmp(fileparts(file), folder)
    return
end
[copied, message] = copyfile(file, folder);
if ~copied
    error('voxblur_build: cannot copy %s to %s: %s', file, folder, message);
end
end

% The engine's threads: Windows' own on Windows, as voxblur.mexw64 and the
% Octave package have them; POSIX threads on Linux and macOS, as our Octave
% builds (threads_posix.cpp counts the processors either way). Only the
% shipped Linux files, whose link properties allow no thread library, keep
% to one thread; a file built here has no such constraint.
function name = threads_for()
if ispc
    name = 'threads_win32.cpp';
else
    name = 'threads_posix.cpp';
end
end

% MATLAB: voxblur with the R14 generation of host calls, as the shipped
% MEX files bind them, and on Linux and macOS the mexVersion export that
% the shipped Linux files carry; voxsmooth binds the 64-bit generation
% itself. Both with the POSIX threads library (part of the C library since
% glibc 2.34 and on macOS, a library of its own on older Linux systems).
% With GCC or Clang, the engine's settings after mex's own optimisation
% flags; Microsoft's compiler keeps mex's own (at /O2 it neither contracts
% nor reassociates).
function build_for_matlab(folder, name, includes, sources, flags_file)
libraries = {};
if isunix
    if strcmp(name, 'voxblur')
        sources{end + 1} = fullfile(fileparts(sources{1}), 'mexversion.cpp');
    end
    libraries = {'-lpthread'};
end
settings = {};
compiler = mex.getCompilerConfigurations('C++', 'Selected');
if ~isempty(compiler) && ~strcmp(compiler(1).Manufacturer, 'Microsoft')
    flags = engine_flags(flags_file, strcmp(compiler(1).Manufacturer, 'GNU'));
    settings = {['CXXOPTIMFLAGS=$CXXOPTIMFLAGS ' flags]};
end
mex('-DVOXBLUR_HOST_R14', includes{:}, settings{:}, '-outdir', folder, '-output', name, ...
    sources{:}, libraries{:});
end

% Octave: Octave's own mex.h, with the engine's settings of our Octave
% build but not -Werror, so that a new warning of another compiler does
% not stop it.
% mkoctfile takes them from the environment, which is left as it was. It
% links into the current folder, since it passes a path with a space in it
% to the linker as two words.
function build_for_octave(folder, name, includes, sources, flags_file)
[~, version] = system([strtrim(mkoctfile('-p', 'CXX')) ' --version']);
settings = engine_flags(flags_file, ~isempty(strfind(version, 'Free Software Foundation')));
flags = getenv('CXXFLAGS');
here = cd(folder);
setenv('CXXFLAGS', settings);
try
    [output, status] = mkoctfile('--mex', '-DVOXBLUR_OCTAVE', includes{:}, '-o', [name '.mex'], ...
                                 sources{:});
catch failure
    restore_flags(flags);
    cd(here);
    rethrow(failure);
end
restore_flags(flags);
cd(here);
fprintf('%s', output);
if status ~= 0
    error('voxblur_build: mkoctfile failed with status %d building %s.mex in %s', status, name, ...
          folder);
end
end

% An empty CXXFLAGS would give mkoctfile no flags at all; unset, its own.
function restore_flags(flags)
if isempty(flags)
    unsetenv('CXXFLAGS');
else
    setenv('CXXFLAGS', flags);
end
end

% The engine's settings of every build (cmake/engine_flags.txt): its
% numerics, speed and warnings as one string of flags for GCC or Clang,
% with GCC's own options only for GCC.
function flags = engine_flags(flags_file, is_gcc)
if ~exist(flags_file, 'file')
    error('voxblur_build: no %s, which holds the engine''s compiler settings', flags_file);
end
text = fileread(flags_file);
keys = {'numerics', 'speed', 'warnings'};
if is_gcc
    keys{end + 1} = 'speed-gcc';
end
flags = '';
for k = 1:numel(keys)
    line = regexp(text, ['^' keys{k} ':([^\r\n]*)'], 'tokens', 'once', 'lineanchors');
    if isempty(line)
        error('voxblur_build: %s has no line ''%s:''', flags_file, keys{k});
    end
    flags = strtrim([flags ' ' strtrim(line{1})]);
end
end
