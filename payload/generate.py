#!/usr/bin/env python3
"""Writes the placeholder release: flash.bin (29,696 bytes) and data.bin (1,024 bytes).

The bytes come from a fixed xorshift generator, so every run writes the same files, and no
value repeats in a run long enough to hide a misplaced or missing byte in the tests.
"""
import pathlib

def stream(seed):
    x = seed
    while True:
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        yield (x >> 11) & 0xFF

def block(size, seed):
    out = bytearray()
    gen = stream(seed)
    for b in gen:
        if out and b == out[-1]:
            continue  # no two equal neighbours
        out.append(b)
        if len(out) == size:
            return bytes(out)

here = pathlib.Path(__file__).resolve().parent
(here / "flash.bin").write_bytes(block(29696, 0x0C7E1F00))
(here / "data.bin").write_bytes(block(1024, 0x0DA7A000))
