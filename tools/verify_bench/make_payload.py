#!/usr/bin/python3
"""Writes N random bytes to a file: make_payload.py OUT N.

Random so that nothing along the way (compression, a sparse file) makes the
file cheaper to read than a real setup archive of that size.
"""

import os
import sys
from pathlib import Path

CHUNK = 1 << 20


def main(out, size):
    partial = out.with_name(out.name + ".partial")
    with open(partial, "wb") as file:
        left = size
        while left:
            count = min(left, CHUNK)
            file.write(os.urandom(count))
            left -= count
    os.replace(partial, out)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__.split("\n\n")[0])
    main(Path(sys.argv[1]), int(sys.argv[2]))
