"""Mutations of seed inputs for the fuzz drivers: byte flips, truncation, huge numbers,
NaN/inf, deep nesting, long lines, invalid UTF-8, CRLF, BOM, empty, and splices of seeds."""

import random
import re

NUMBER = re.compile(rb"-?\d+(\.\d+)?([eE][-+]?\d+)?")
EXTREMES = [b"0", b"-0", b"1e308", b"-1e308", b"1e309", b"2e-308", b"4.9e-324", b"NaN",
            b"nan", b"inf", b"-inf", b"Infinity", b"9223372036854775807",
            b"9223372036854775808", b"18446744073709551616", b"-9223372036854775809",
            b"2147483648", b"-2147483649", b"1.5", b"0x10", b"1e", b"--1", b"+1", b"1,5",
            b"\"\"", b"null", b"true", b"[]", b"{}", b"\"x\"", b"1" * 400]


def _flip(data, rng):
    if not data:
        return b"\x00"
    b = bytearray(data)
    for _ in range(rng.randint(1, 4)):
        i = rng.randrange(len(b))
        b[i] ^= 1 << rng.randrange(8)
    return bytes(b)


def _byte(data, rng):
    b = bytearray(data)
    i = rng.randrange(len(b) + 1)
    b[i:i] = bytes([rng.choice([0, 0x0A, 0x0D, 0x22, 0x2C, 0x5B, 0x5D, 0x7B, 0x7D, 0x5C, 0x80,
                                0xC0, 0xFF, 0x20, 0x09, rng.randrange(256)])])
    return bytes(b)


def _truncate(data, rng):
    return data[:rng.randrange(len(data) + 1)]


def _number(data, rng):
    spots = list(NUMBER.finditer(data))
    if not spots:
        return data + rng.choice(EXTREMES)
    m = rng.choice(spots)
    return data[:m.start()] + rng.choice(EXTREMES) + data[m.end():]


def _nest(data, rng):
    depth = rng.choice([9, 100, 10000, 200000])
    kind = rng.choice([b"[", b"{\"a\":"])
    inner = kind * depth
    i = rng.randrange(len(data) + 1)
    return data[:i] + inner + data[i:]


def _long_line(data, rng):
    i = rng.randrange(len(data) + 1)
    filler = rng.choice([b"1", b" ", b"a", b",", b"\xe2\x82\xac"]) * rng.choice([1000, 70000,
                                                                                 1 << 20])
    return data[:i] + filler + data[i:]


def _utf8(data, rng):
    i = rng.randrange(len(data) + 1)
    bad = rng.choice([b"\xff", b"\xc3", b"\xed\xa0\x80", b"\xf4\x90\x80\x80", b"\xc0\xaf",
                      b"\xe2\x82"])
    return data[:i] + bad + data[i:]


def _crlf(data, rng):
    return data.replace(b"\n", rng.choice([b"\r\n", b"\r", b"\n\n"]))


def _bom(data, rng):
    return rng.choice([b"\xef\xbb\xbf", b"\xff\xfe", b"\xfe\xff"]) + data


def _empty(data, rng):
    return rng.choice([b"", b" ", b"\n", b"\r\n", b"\x00", b"{}", b"[]", b"null", b"0"])


def _duplicate(data, rng):
    if len(data) < 2:
        return data * 2
    i, j = sorted(rng.sample(range(len(data)), 2))
    k = rng.randrange(len(data) + 1)
    return data[:k] + data[i:j] + data[k:]


def _delete(data, rng):
    if len(data) < 2:
        return data
    i, j = sorted(rng.sample(range(len(data)), 2))
    return data[:i] + data[j:]


MUTATORS = [_flip, _byte, _truncate, _number, _number, _number, _nest, _long_line, _utf8, _crlf,
            _bom, _empty, _duplicate, _delete]


def mutate(seed, rng, extra=()):
    """One mutant of seed: one to three mutations in a row."""
    data = seed
    for _ in range(rng.choice([1, 1, 1, 2, 3])):
        data = rng.choice(MUTATORS + list(extra))(data, rng)
    return data


def rng_from(value):
    return random.Random(value)
