"""A small reader of the minidumps the installer writes and of the
multipart crash reports it uploads."""

import gzip
import re
import struct
import uuid

CRASHPAD_INFO_STREAM = 0x43500001
EXCEPTION_STREAM = 6


class Minidump:
    def __init__(self, data):
        self.data = data
        signature, version, count, directory = struct.unpack_from("<4sIII", data, 0)
        assert signature == b"MDMP", signature
        assert version & 0xffff == 0xa793, hex(version)
        self.streams = {}
        for i in range(count):
            kind, size, rva = struct.unpack_from("<III", data, directory + 12 * i)
            assert rva + size <= len(data), (hex(kind), rva, size, len(data))
            self.streams[kind] = (rva, size)

    def exception_code(self):
        rva, _ = self.streams[EXCEPTION_STREAM]
        # Thread id, alignment, then the record: code first.
        return struct.unpack_from("<I", self.data, rva + 8)[0]

    def string(self, rva):
        (length,) = struct.unpack_from("<I", self.data, rva)
        assert self.data[rva + 4 + length] == 0
        return self.data[rva + 4:rva + 4 + length].decode("utf-8")

    def crashpad_info(self):
        """(version, report id, client id, annotations) of the information
        stream, every offset taken as a file offset."""
        rva, size = self.streams[CRASHPAD_INFO_STREAM]
        version = struct.unpack_from("<I", self.data, rva)[0]
        report = uuid.UUID(bytes_le=self.data[rva + 4:rva + 20])
        client = uuid.UUID(bytes_le=self.data[rva + 20:rva + 36])
        dict_size, dict_rva, modules_size, modules_rva = struct.unpack_from(
            "<IIII", self.data, rva + 36)
        assert (modules_size, modules_rva) == (0, 0)
        assert rva <= dict_rva and dict_rva + dict_size <= rva + size, "outside the stream"
        (count,) = struct.unpack_from("<I", self.data, dict_rva)
        assert dict_size == 4 + 8 * count
        annotations = {}
        for i in range(count):
            key, value = struct.unpack_from("<II", self.data, dict_rva + 4 + 8 * i)
            annotations[self.string(key)] = self.string(value)
        return version, str(report).upper(), str(client).upper(), annotations


BOUNDARY = re.compile(r"^multipart/form-data; boundary=(---MultipartBoundary-[0-9A-Za-z]{32}---)$")


def parse_report(content_type, body):
    """The gunzipped multipart body as (boundary, [(name, filename, headers,
    data)]) in body order; checks the framing on the way."""
    match = BOUNDARY.match(content_type)
    assert match, content_type
    boundary = match.group(1).encode()
    text = gzip.decompress(body)
    assert text.endswith(b"--" + boundary + b"--\r\n")
    pieces = text.split(b"--" + boundary)
    assert pieces[0] == b"" and pieces[-1] == b"--\r\n"
    parts = []
    for piece in pieces[1:-1]:
        assert piece.startswith(b"\r\n") and piece.endswith(b"\r\n")
        head, _, data = piece[2:-2].partition(b"\r\n\r\n")
        lines = head.decode().split("\r\n")
        disposition = re.match(r'^Content-Disposition: form-data; name="([^"]*)"'
                               r'(?:; filename="([^"]*)")?$', lines[0])
        assert disposition, lines[0]
        parts.append((disposition.group(1), disposition.group(2), lines[1:], data))
    return match.group(1), parts
