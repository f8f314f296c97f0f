#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpus, one file per kind of call, and
their dictionary, in the input layout that gateway_fuzz.cpp describes. Run
from anywhere; it rewrites tests/fuzz/corpus/ and tests/fuzz/gateway_fuzz.dict."""
import math
import pathlib
import struct

# The tables of gateway_fuzz.cpp, in its order.
ENTRIES = ["voxblur", "voxsmooth"]
THREADS = [None, "1", "2", "3", "4", "64", "65", "0", "", "2x"]
CLASSES = ["logical", "char", "double", "single", "int8", "uint8", "int16", "uint16",
           "int32", "uint32", "int64", "uint64"]
WORD_CLASS = 12
WORDS = ["Factor", "Mask", "Threads", "Verbose", "factor", "MASK", "threads", "verbose", "Fact",
         "Thread", "", "Factors", "on", "off", "true", "x"]
LENGTHS = [16, 31, 32, 33, 64, 99, 100, 101, 127, 128, 200, 255, 511, 512, 1000, 1022, 1023,
           1024, 1025, 2047, 2048, 4096, 65535, 65536, 1 << 20, 2**31 - 1]
VALUES = [0.0, -0.0, 1.0, -1.0, 0.5, 0.7, 2.0, 2.5, 3.0, 4.0, 30.0, 1023.0, 1024.0,
          0.49999999999999994, 2147483647.5, -2147483648.5, 1e12, -1e12, math.nan, math.inf,
          -math.inf, 1.7976931348623157e308, -1.7976931348623157e308, 2.2250738585072014e-308,
          5e-324, -5e-324, 1e-310, 1e-3, 99.0, 99.5, 100.0, 64.0, 65.0]


def length(n):
    return bytes([n]) if n < 16 else bytes([224 + LENGTHS.index(n)])


def value(x):
    for i, v in enumerate(VALUES):
        same = (math.isnan(x) and math.isnan(v)) or (x == v and math.copysign(1, x) == math.copysign(1, v))
        if same:
            return bytes([i])
    return b"\xff" + struct.pack("<d", x)


def arg(dims, values=(), cls="double", complex_=False, sparse=False):
    out = bytes([CLASSES.index(cls), int(complex_) | (2 * int(sparse)), len(dims)])
    out += b"".join(length(d) for d in dims)
    out += bytes([len(values)]) + b"".join(value(v) for v in values)
    return out


def word(text):
    return bytes([WORD_CLASS, WORDS.index(text)])


def call(*args, nlhs=1, threads=None, entry="voxblur"):
    return bytes([ENTRIES.index(entry), len(args), nlhs, THREADS.index(threads)]) + b"".join(args)


def size3(x, y=None, z=None):
    return arg([1, 3], [x, x if y is None else y, x if z is None else z])


VOL = arg([7, 6, 5], [1.0, 2.5, -1.0, 30.0, 0.7, 4.0, -3.25])
EMPTY = arg([0, 0])
SIZE3 = size3(2.0, 3.0, 4.0)
FACTOR1 = arg([1, 1], [1.0])
LINE = [1.0, -2.0, 0.5, 5e-324, 30.0]

SEEDS = {
    # A result, and every message of the argument rules.
    "filter_in_voxels": call(VOL, EMPTY, SIZE3),
    "voxel_size_and_factor": call(VOL, arg([1, 3], [2.0]), arg([3, 1], [8.0]), arg([1, 1], [3.0])),
    "no_arguments": call(),
    "two_arguments": call(VOL, EMPTY),
    "five_arguments": call(VOL, EMPTY, SIZE3, arg([1, 1], [4.0]), arg([1, 1], [4.0])),
    "voxel_size_of_two": call(VOL, arg([1, 2], [1.0]), SIZE3),
    "filter_size_of_four": call(VOL, EMPTY, arg([1, 4], [2.0])),
    "factor_of_two": call(VOL, EMPTY, SIZE3, arg([1, 2], [4.0])),
    "volume_two_dimensional": call(arg([7, 6], [1.0]), EMPTY, SIZE3),
    "volume_four_dimensional": call(arg([3, 4, 2, 2], [1.0]), EMPTY, SIZE3),
    "volume_int16": call(arg([4, 4, 4], [3.0], cls="int16"), EMPTY, SIZE3),
    "volume_sparse": call(arg([4, 4, 2], [0.0, 1.0], sparse=True), EMPTY, SIZE3),
    "voxel_size_sparse": call(VOL, arg([1, 3], [1.0, 0.0, 0.0], sparse=True), SIZE3),
    "voxel_size_single": call(VOL, arg([1, 3], [1.0], cls="single"), SIZE3),
    "filter_size_logical": call(VOL, EMPTY, arg([1, 3], [1.0], cls="logical")),
    "filter_size_char_3x3": call(VOL, EMPTY, arg([3, 3], [2.0], cls="char")),
    "filter_size_word": call(VOL, EMPTY, word("Fact")),
    "factor_uint8": call(VOL, EMPTY, SIZE3, arg([1, 1], [2.0], cls="uint8")),
    "factor_sparse_zero": call(VOL, EMPTY, SIZE3, arg([1, 1], [0.0], sparse=True)),
    "factor_word": call(VOL, EMPTY, SIZE3, word("x")),
    "voxel_size_0x3_int8": call(VOL, arg([0, 3], cls="int8"), SIZE3),
    "voxel_size_3x0": call(VOL, arg([3, 0]), SIZE3),
    "filter_size_0x3": call(VOL, EMPTY, arg([0, 3])),
    "filter_size_3x0_single": call(VOL, EMPTY, arg([3, 0], cls="single")),
    "factor_1x0_char": call(VOL, EMPTY, SIZE3, arg([1, 0], cls="char")),
    "factor_0x1": call(VOL, EMPTY, SIZE3, arg([0, 1])),
    "axis_of_1023": call(arg([1023, 1, 2], [1.0, -2.0, 5e-324]), EMPTY, size3(3.0, 1.0, 1.0)),
    "axis_of_1024": call(arg([1024, 1, 2], [1.0]), EMPTY, SIZE3),
    "axes_of_1023_and_1024_empty": call(arg([1023, 0, 1024]), EMPTY, SIZE3),
    "axis_of_2147483647_empty": call(arg([0, 2**31 - 1, 1]), EMPTY, SIZE3),
    "empty_y_axis": call(arg([4, 0, 3]), EMPTY, SIZE3),
    "complex_volume": call(arg([5, 4, 3], [1.0, -1.0, 2.5], complex_=True), EMPTY, SIZE3),
    "extreme_values": call(arg([6, 5, 4], [math.nan, math.inf, -math.inf, 1.7976931348623157e308,
                                           5e-324, -1e12]),
                           arg([1, 3], [0.0, 1e-310, -1.0]), arg([1, 3], [math.inf, 0.0, math.nan]),
                           arg([1, 1], [2147483647.5])),
    "no_output_requested": call(VOL, EMPTY, SIZE3, nlhs=0),
    # Every kernel length class: the narrowest (an axis of 1 or 2 takes one
    # tap, a tiny width three), cut to an odd and to an even axis, 99 taps
    # exactly, 100 made 101 and cut with the warning, and far beyond.
    "kernels_of_one_tap": call(arg([1, 2, 9], LINE), EMPTY, size3(30.0, 30.0, 1e-3)),
    "kernels_cut_to_the_axis": call(arg([7, 8, 3], LINE), EMPTY, size3(30.0)),
    "kernel_of_99_taps": call(arg([101, 1, 2], LINE), EMPTY, size3(99.0, 1.0, 1.0), FACTOR1),
    "kernel_of_101_taps_warning": call(arg([101, 1, 2], LINE), EMPTY, size3(100.0, 1.0, 1.0),
                                       FACTOR1),
    "kernels_of_99_5_cut_and_99": call(arg([4, 128, 101], LINE), EMPTY, size3(1.0, 99.5, 99.0),
                                         FACTOR1),
    "long_kernel_warning": call(arg([200, 2, 2], [1.0, 0.0]), EMPTY, size3(30.0, 1.0, 1.0)),
    "kernels_beyond_every_axis": call(arg([1023, 3, 2], LINE), EMPTY, size3(1e12, 1e12, math.inf)),
    "factor_of_minus_one": call(VOL, EMPTY, SIZE3, arg([1, 1], [-1.0])),
    "factor_of_2147483647_5": call(arg([200, 2, 2], LINE), EMPTY, SIZE3, arg([1, 1], [2147483647.5])),
}
# Volumes large enough to be shared among threads (gateway_fuzz_long), with
# every VOXBLUR_THREADS setting; the fast target halves them to its budget.
for threads in THREADS:
    name = "threads_" + ("unset" if threads is None else repr(threads).strip("'") or "empty")
    SEEDS[name] = call(arg([64, 64, 32], LINE), arg([1, 3], [1.0, 2.0, 0.5]), size3(3.0),
                       threads=threads)
SEEDS["threads_4_long_x"] = call(arg([1023, 2, 64], LINE), EMPTY, size3(9.0), threads="4")
SEEDS["threads_3_long_z"] = call(arg([2, 64, 1023], LINE), EMPTY, size3(1.0, 2.0, 30.0),
                                 threads="3")

# voxsmooth: a result for every class and for 2-D, 4-D and 5-D data, each
# option, and every message of its rules.
IMAGE = [1.0, 2.5, -1.0, 30.0, 0.7, 4.0, -3.25]
NUMERIC = [c for c in CLASSES if c != "char"]
FWHM = arg([1, 1], [2.0])
SERIES = arg([5, 4, 3, 2], IMAGE)
LETTER_A = struct.unpack("<d", struct.pack("<Q", 0x3FF0000000000041))[0]


# An array of another class than double takes the low bytes of each value's
# bits: the raw doubles whose low bytes hold `values` in class `cls`.
FORMATS = {"logical": "?", "single": "f", "int8": "b", "uint8": "B", "int16": "h",
           "uint16": "H", "int32": "i", "uint32": "I", "int64": "q", "uint64": "Q"}


def typed(cls, values, dims=(1, 1)):
    if cls == "double":
        return arg(list(dims), values)
    raw = [struct.unpack("<d", struct.pack("<" + FORMATS[cls], v).ljust(8, b"\0"))[0]
           for v in values]
    return arg(list(dims), raw, cls=cls)


def smooth(*args, threads=None):
    return call(*args, threads=threads, entry="voxsmooth")


def logical(dims, values=(True, False, True)):
    return typed("logical", values, dims)


SMOOTH_SEEDS = {"smooth_" + cls: smooth(typed(cls, [1, 2, 0, 100, 7, 1, 0], (6, 5, 4)),
                                        EMPTY, FWHM) for cls in NUMERIC}
SMOOTH_SEEDS.update({
    "smooth_image_2d": smooth(arg([9, 7], IMAGE), arg([1, 1], [0.5]), size3(1.0, 2.0, 30.0)),
    "smooth_series_4d_int16": smooth(typed("int16", [3, -700, 32767, 0], (5, 4, 3, 2)), EMPTY,
                                     FWHM),
    "smooth_series_5d_single": smooth(typed("single", [1.5, -2.0, 3e38], (3, 4, 2, 2, 3)), SIZE3,
                                      FWHM),
    "smooth_empty_data": smooth(arg([0, 4, 3]), EMPTY, FWHM),
    "smooth_long_x_uint8": smooth(typed("uint8", [255, 0, 1], (1023, 1, 2)), EMPTY,
                                  size3(200.0, 1.0, 1.0)),
    "smooth_factor": smooth(SERIES, EMPTY, FWHM, word("Factor"), arg([1, 1], [2.5])),
    "smooth_factor_huge": smooth(VOL, EMPTY, FWHM, word("factor"), arg([1, 1], [2147483647.5])),
    "smooth_mask_one_volume": smooth(SERIES, EMPTY, FWHM, word("Mask"), logical([5, 4, 3])),
    "smooth_mask_every_volume": smooth(SERIES, EMPTY, FWHM, word("MASK"), logical([5, 4, 3, 2])),
    "smooth_mask_none": smooth(SERIES, EMPTY, FWHM, word("Mask"), logical([0, 0])),
    "smooth_mask_all_false": smooth(VOL, EMPTY, FWHM, word("Mask"), logical([7, 6, 5], [False])),
    "smooth_threads_2": smooth(arg([64, 32, 16], IMAGE), EMPTY, FWHM, word("Threads"),
                               arg([1, 1], [2.0]), threads="4"),
    "smooth_threads_huge": smooth(SERIES, EMPTY, FWHM, word("threads"),
                                  arg([1, 1], [2147483647.5], cls="double")),
    "smooth_verbose": smooth(SERIES, EMPTY, FWHM, word("Verbose"), logical([1, 1], [True])),
    "smooth_every_option": smooth(SERIES, typed("single", [1.0, 2.0, 0.5], (1, 3)), FWHM,
                                  word("verbose"), typed("int8", [1]),
                                  word("Mask"), logical([5, 4, 3]), word("Threads"),
                                  typed("uint16", [3]), word("Factor"),
                                  arg([1, 1], [0.5])),
    "smooth_later_value_wins": smooth(VOL, EMPTY, FWHM, word("Verbose"), logical([1, 1], [True]),
                                      word("Verbose"), logical([1, 1], [False])),
    # Messages, in the order the rules check.
    "smooth_one_argument": smooth(VOL),
    "smooth_two_arguments": smooth(VOL, EMPTY),
    "smooth_data_char": smooth(arg([3, 3], [LETTER_A], cls="char"), EMPTY, FWHM),
    "smooth_data_sparse": smooth(arg([4, 4], [1.0], sparse=True), EMPTY, FWHM),
    "smooth_data_sparse_logical": smooth(arg([4, 4], [1.0], cls="logical", sparse=True), EMPTY,
                                         FWHM),
    "smooth_data_complex_int8": smooth(arg([4, 4, 2], [1.0], cls="int8", complex_=True), EMPTY,
                                       FWHM),
    "smooth_voxel_size_logical": smooth(VOL, logical([1, 3]), FWHM),
    "smooth_voxel_size_of_two": smooth(VOL, arg([1, 2], [1.0]), FWHM),
    "smooth_voxel_size_zero": smooth(VOL, arg([1, 1], [0.0]), FWHM),
    "smooth_voxel_size_2_nan": smooth(VOL, arg([3, 1], [1.0, math.nan, 1.0]), FWHM),
    "smooth_fwhm_empty": smooth(VOL, EMPTY, EMPTY),
    "smooth_fwhm_3_negative": smooth(VOL, EMPTY, typed("int32", [1, 0, -1], (1, 3))),
    "smooth_fwhm_complex": smooth(VOL, EMPTY, arg([1, 1], [1.0], complex_=True)),
    "smooth_name_double": smooth(VOL, EMPTY, FWHM, arg([1, 1], [1.0]), FWHM),
    "smooth_name_char_2x3": smooth(VOL, EMPTY, FWHM, arg([2, 3], [LETTER_A], cls="char"), FWHM),
    "smooth_name_unknown": smooth(VOL, EMPTY, FWHM, word("Fact"), FWHM),
    "smooth_name_empty": smooth(VOL, EMPTY, FWHM, word(""), FWHM),
    "smooth_name_of_64_letters": smooth(VOL, EMPTY, FWHM, arg([1, 64], [LETTER_A], cls="char"),
                                        FWHM),
    "smooth_option_without_value": smooth(VOL, EMPTY, FWHM, word("Threads")),
    "smooth_mask_double": smooth(VOL, EMPTY, FWHM, word("Mask"), arg([7, 6, 5], [1.0])),
    "smooth_mask_sparse": smooth(VOL, EMPTY, FWHM, word("Mask"),
                                 arg([7, 6, 5], [1.0], cls="logical", sparse=True)),
    "smooth_mask_wrong_size": smooth(SERIES, EMPTY, FWHM, word("Mask"), logical([5, 4, 2])),
    "smooth_mask_volume_of_2": smooth(SERIES, EMPTY, FWHM, word("Mask"), logical([5, 4, 3, 1, 2])),
    "smooth_factor_char": smooth(VOL, EMPTY, FWHM, word("Factor"), word("on")),
    "smooth_factor_of_two": smooth(VOL, EMPTY, FWHM, word("Factor"), arg([1, 2], [4.0])),
    "smooth_factor_zero": smooth(VOL, EMPTY, FWHM, word("Factor"), arg([1, 1], [0.0])),
    "smooth_threads_1_5": smooth(VOL, EMPTY, FWHM, word("Threads"), arg([1, 1], [1.5])),
    "smooth_threads_zero_uint64": smooth(VOL, EMPTY, FWHM, word("Threads"),
                                         arg([1, 1], [0.0], cls="uint64")),
    "smooth_verbose_on": smooth(VOL, EMPTY, FWHM, word("Verbose"), word("on")),
    "smooth_verbose_two": smooth(VOL, EMPTY, FWHM, word("Verbose"), logical([1, 2])),
    "smooth_verbose_nan": smooth(VOL, EMPTY, FWHM, word("Verbose"), arg([1, 1], [math.nan])),
})
SEEDS.update(SMOOTH_SEEDS)


def dictionary():
    """Argument headers of every class and flag with 2 or 3 dimensions, the
    vectors the rules ask for, and the call headers."""
    entries = []
    for cls in range(len(CLASSES)):
        for flags in range(4):
            for ndim in (2, 3):
                entries.append(bytes([cls, flags, ndim]))
    entries += [bytes([WORD_CLASS, i]) for i in range(len(WORDS))]
    entries += [arg([1, 3])[:-1], arg([3, 1])[:-1], arg([1, 1])[:-1], arg([0, 0]),
                arg([1, 3], [1.0]), arg([1, 1], [1.0])]
    entries += [length(n) for n in (1023, 1024, 101, 100, 99)]
    for e in range(len(ENTRIES)):
        for nargs in (3, 4, 5, 7):
            entries += [bytes([e, nargs, 1, t]) for t in range(len(THREADS))]
    def quoted(piece):
        return '"' + "".join("\\x%02x" % b for b in piece) + '"\n'
    return "".join(quoted(e) for e in entries)


here = pathlib.Path(__file__).resolve().parent
corpus = here / "corpus"
corpus.mkdir(exist_ok=True)
for old in corpus.iterdir():
    old.unlink()
for name, data in SEEDS.items():
    (corpus / name).write_bytes(data)
(here / "gateway_fuzz.dict").write_text(
    "# Written by make_seeds.py: pieces of gateway_fuzz.cpp's input layout.\n" + dictionary())
print(f"{len(SEEDS)} seeds in {corpus}, dictionary in {here / 'gateway_fuzz.dict'}")
