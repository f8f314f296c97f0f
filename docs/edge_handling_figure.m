## edge_handling_figure (PNG_FILE)
##
## Draws how voxblur treats the faces of a volume: profiles along x through
## a smoothed 40 x 21 x 21 volume, for a bright region that reaches the face
## and for a thin bright sheet near it, each smoothed three ways with the
## same Gaussian (FWHM 4 voxels, 17 taps): voxblur's renormalised edge
## kernels, convn on a zero-padded volume, and convn on a volume padded by
## replicating its edge voxels (as Octave's smooth3 does). Writes PNG_FILE.
##
## Octave draws headless only through gnuplot, so this needs gnuplot and
## the FreeSans font that Octave's text layout looks for.
function edge_handling_figure (png_file)
  fwhm = 4;
  taps = 17;                      # 4 x 4 + 0.5 truncated, made odd
  dims = [40 21 21];
  centre = 11;                    # the profile runs along x at y = z = 11
  background = 20;

  step = background * ones (dims);
  step(1:8, :, :) = 100;
  sheet = background * ones (dims);
  sheet(2, :, :) = 100;
  panels = {step, [0 120], "A bright region that reaches the face (x = 1 to 8)";
            sheet, [0 60], "A thin bright sheet one voxel in from the face (x = 2)"};
  kernel = gaussian (fwhm, taps);

  ## Octave has no display here and draws through gnuplot; its warnings are
  ## about that toolkit in general and about Ghostscript, which gnuplot's
  ## own cairo PNG terminal does not need.
  warning ("off", "Octave:gnuplot-graphics");
  warning ("off", "print:nogs");
  graphics_toolkit ("gnuplot");
  figure_handle = figure ("visible", "off", "paperunits", "inches",
                          "paperposition", [0 0 13 11]);
  x = 1:20;
  for p = 1:rows (panels)
    volume = panels{p, 1};
    evalc ("smoothed = voxblur (volume, [], fwhm * [1 1 1]);");
    zero_padded = padded_convn (volume, kernel, "zero");
    replicated = padded_convn (volume, kernel, "replicate");
    profile = @(v) v(x, centre, centre);
    top = panels{p, 2}(2);

    axes ("position", [0.08, 1.07 - 0.49 * p, 0.9, 0.35]);
    hold on;
    stairs ([x - 0.5, x(end) + 0.5], [profile(volume); volume(x(end), centre, centre)],
            "color", [0.55 0.55 0.55], "linewidth", 2);
    ## voxblur first and the paddings over it, so that a padding that
    ## matches voxblur still shows as a line on its markers.
    plot (x, profile (smoothed), "-o", "color", [0 0 0], "linewidth", 3,
          "markersize", 7, "markerfacecolor", [0 0 0]);
    plot (x, profile (zero_padded), "--", "color", [0.85 0.2 0.1], "linewidth", 3);
    plot (x, profile (replicated), "-.", "color", [0.2 0.5 1], "linewidth", 3);
    plot ([0.5 0.5], [0 top], "-", "color", [0.3 0.3 0.3], "linewidth", 2);
    text (0.7, 0.93 * top, "face of the volume", "fontsize", 13);
    peak = max (volume(x, centre, centre));
    if (peak > top)
      where = find (volume(x, centre, centre) == peak, 1);
      text (where + 0.6, 0.8 * top, sprintf ("input %g", peak), "fontsize", 13);
    endif
    hold off;
    axis ([0 x(end) + 0.5, panels{p, 2}]);
    set (gca, "fontsize", 13, "xtick", [1 5:5:x(end)], "box", "on");
    title (sprintf ("%s, FWHM %g voxels", panels{p, 3}, fwhm), "fontsize", 15);
    xlabel ("x (voxels), through the middle of the volume in y and z");
    ylabel ("value");
    legend ({"input", "voxblur: edge kernels renormalised", "zero padding (convn)", ...
             "replicated edge voxels (convn, as smooth3)"}, "location", "northeast");
  endfor

  folder = fileparts (png_file);
  if (! isempty (folder) && ! exist (folder, "dir"))
    mkdir (folder);
  endif
  print (figure_handle, "-dpngcairo", "-r100", png_file);
  close (figure_handle);
  printf ("wrote %s\n", png_file);
endfunction

## voxblur's kernel: FWHM to variance with the factor 1 / (8 ln 2).
function k = gaussian (fwhm, taps)
  offsets = (0:taps-1) - (taps - 1) / 2;
  k = exp (-offsets.^2 / (2 * fwhm^2 / (8 * log (2))));
  k /= sum (k);
endfunction

## The same separable Gaussian over a volume padded by half a kernel on
## every side, with zeros or with copies of the edge voxels; "valid" then
## returns exactly the volume's own size.
function out = padded_convn (volume, kernel, padding)
  h = (numel (kernel) - 1) / 2;
  index = cell (1, 3);
  for d = 1:3
    n = size (volume, d);
    index{d} = min (max ((1 - h):(n + h), 1), n);
  endfor
  padded = volume(index{:});
  if (strcmp (padding, "zero"))
    inside = false (size (padded));
    inside(h+1:end-h, h+1:end-h, h+1:end-h) = true;
    padded(! inside) = 0;
  endif
  out = convn (padded, kernel(:), "valid");
  out = convn (out, kernel(:).', "valid");
  out = convn (out, reshape (kernel, 1, 1, []), "valid");
endfunction
