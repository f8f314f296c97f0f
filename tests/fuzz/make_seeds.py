#!/usr/bin/env python3
"""Writes the fuzz target's seed corpus: one file per kind of gateway call,
in the input layout that gateway_fuzz.cpp describes. Run from anywhere;
it rewrites tests/fuzz/corpus/."""
import math
import pathlib
import struct

CLASSES = ["logical", "char", "double", "single", "int8", "uint8", "int16", "uint16",
           "int32", "uint32", "int64", "uint64"]
LENGTHS = [16, 31, 32, 33, 64, 99, 100, 101, 127, 128, 200, 255, 511, 512, 1000, 1022, 1023,
           1024, 1025, 2047, 2048, 4096, 65535, 65536, 1 << 20, 2**31 - 1]
# The special values, in the order of `values` in gateway_fuzz.cpp.
VALUES = [0.0, -0.0, 1.0, -1.0, 0.5, 0.7, 2.0, 2.5, 3.0, 4.0, 30.0, 1023.0, 1024.0,
          0.49999999999999994, 2147483647.5, -2147483648.5, 1e12, -1e12, math.nan, math.inf,
          -math.inf, 1.7976931348623157e308, -1.7976931348623157e308, 2.2250738585072014e-308,
          5e-324, -5e-324, 1e-310, 1e-3]


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


def call(*args, nlhs=1):
    return bytes([len(args), nlhs]) + b"".join(args)


VOL = arg([7, 6, 5], [1.0, 2.5, -1.0, 30.0, 0.7, 4.0, -3.25])
EMPTY = arg([0, 0])
SIZE3 = arg([1, 3], [2.0, 3.0, 4.0])

SEEDS = {
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
    "factor_uint8": call(VOL, EMPTY, SIZE3, arg([1, 1], [2.0], cls="uint8")),
    "factor_sparse_zero": call(VOL, EMPTY, SIZE3, arg([1, 1], [0.0], sparse=True)),
    "voxel_size_0x3_int8": call(VOL, arg([0, 3], cls="int8"), SIZE3),
    "voxel_size_3x0": call(VOL, arg([3, 0]), SIZE3),
    "filter_size_0x3": call(VOL, EMPTY, arg([0, 3])),
    "filter_size_3x0_single": call(VOL, EMPTY, arg([3, 0], cls="single")),
    "factor_1x0_char": call(VOL, EMPTY, SIZE3, arg([1, 0], cls="char")),
    "factor_0x1": call(VOL, EMPTY, SIZE3, arg([0, 1])),
    "axis_of_1023": call(arg([1023, 1, 2], [1.0, -2.0, 5e-324]), EMPTY, arg([1, 3], [3.0, 1.0, 1.0])),
    "axis_of_1024": call(arg([1024, 1, 2], [1.0]), EMPTY, SIZE3),
    "axes_of_1023_and_1024_empty": call(arg([1023, 0, 1024]), EMPTY, SIZE3),
    "empty_y_axis": call(arg([4, 0, 3]), EMPTY, SIZE3),
    "complex_volume": call(arg([5, 4, 3], [1.0, -1.0, 2.5], complex_=True), EMPTY, SIZE3),
    "extreme_values": call(arg([6, 5, 4], [math.nan, math.inf, -math.inf, 1.7976931348623157e308,
                                           5e-324, -1e12]),
                           arg([1, 3], [0.0, 1e-310, -1.0]), arg([1, 3], [math.inf, 0.0, math.nan]),
                           arg([1, 1], [2147483647.5])),
    "long_kernel_warning": call(arg([200, 2, 2], [1.0, 0.0]), EMPTY, arg([1, 3], [30.0, 1.0, 1.0])),
    "no_output_requested": call(VOL, EMPTY, SIZE3, nlhs=0),
}

corpus = pathlib.Path(__file__).resolve().parent / "corpus"
corpus.mkdir(exist_ok=True)
for old in corpus.iterdir():
    old.unlink()
for name, data in SEEDS.items():
    (corpus / name).write_bytes(data)
print(f"{len(SEEDS)} seeds in {corpus}")
