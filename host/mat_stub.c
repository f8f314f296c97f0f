/* libmat of the stand-in host. voxblur records libmat as needed, as the
 * MATLAB R14 MEX files do, but calls nothing in it. */
typedef int host_libmat_is_empty;
