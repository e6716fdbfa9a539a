#!/usr/bin/python3
"""Turns a stand-in setup executable into a test setup archive.

  make_archive.py --in EXE --out ARCHIVE
                  [--sign CHAIN_PEM KEY_PEM DIGEST]... [--tamper] [--truncate N]

Each --sign adds an Authenticode signature with osslsigncode: the first one is
the primary signature, every further one is nested into it, in order. DIGEST is
sha1 or sha256. CHAIN_PEM holds the signer's certificate, then its issuer.
--tamper then flips one byte in the middle of the .text section, so the file no
longer matches its signatures while its resources stay intact. --truncate keeps
only the first N bytes. The archive appears complete or not at all.
"""

import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

OSSLSIGNCODE = os.environ.get("OSSLSIGNCODE", "osslsigncode")
DESCRIPTION = "Tarnix Browser setup"


class ArchiveError(Exception):
    pass


def pe_sections(data):
    """{name: (raw data offset, raw data size)} from the PE section table."""
    if data[:2] != b"MZ" or len(data) < 0x40:
        raise ArchiveError("not an MZ executable")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ArchiveError("no PE header")
    count = struct.unpack_from("<H", data, pe + 6)[0]
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    table = pe + 24 + optional_size
    sections = {}
    for index in range(count):
        header = table + 40 * index
        name = data[header:header + 8].rstrip(b"\0").decode("ascii", "replace")
        size, offset = struct.unpack_from("<II", data, header + 16)
        sections[name] = (offset, size)
    return sections


def tamper_offset(data):
    """The byte to flip: the middle of the .text section's raw data."""
    offset, size = pe_sections(data).get(".text", (0, 0))
    if size == 0:
        raise ArchiveError("no .text section to tamper with")
    return offset + size // 2


def sign(source, target, chain, key, digest, nest):
    command = [OSSLSIGNCODE, "sign", "-certs", str(chain), "-key", str(key), "-h", digest,
               "-n", DESCRIPTION]
    if nest:
        command.append("-nest")
    command += ["-in", str(source), "-out", str(target)]
    result = subprocess.run(command, capture_output=True, text=True)
    if result.returncode != 0:
        raise ArchiveError(f"{' '.join(command)} failed:\n{result.stdout}{result.stderr}")


def make_archive(source, target, signatures=(), tamper=False, truncate=None):
    with tempfile.TemporaryDirectory(dir=target.parent) as work:
        current = Path(work, "unsigned.exe")
        shutil.copyfile(source, current)
        for index, (chain, key, digest) in enumerate(signatures):
            signed = Path(work, f"signed{index}.exe")
            sign(current, signed, chain, key, digest, nest=index > 0)
            current = signed
        data = bytearray(current.read_bytes())
        if tamper:
            data[tamper_offset(data)] ^= 0xFF
        if truncate is not None:
            if truncate >= len(data):
                raise ArchiveError(f"the archive has only {len(data)} bytes")
            del data[truncate:]
        finished = Path(work, "archive")
        finished.write_bytes(data)
        os.replace(finished, target)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--in", dest="source", required=True, type=Path)
    parser.add_argument("--out", required=True, type=Path)
    parser.add_argument("--sign", nargs=3, action="append", default=[],
                        metavar=("CHAIN_PEM", "KEY_PEM", "DIGEST"))
    parser.add_argument("--tamper", action="store_true")
    parser.add_argument("--truncate", type=int)
    args = parser.parse_args(argv)
    for _, _, digest in args.sign:
        if digest not in ("sha1", "sha256"):
            raise ArchiveError(f"unknown digest {digest}")
    args.out.parent.mkdir(parents=True, exist_ok=True)
    make_archive(args.source, args.out, args.sign, args.tamper, args.truncate)
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except (ArchiveError, OSError, struct.error) as error:
        print(f"make_archive: {error}", file=sys.stderr)
        sys.exit(1)
