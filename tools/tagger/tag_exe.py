#!/usr/bin/python3
"""Writes a distribution tag into an Authenticode-signed Windows executable.

  tag_exe.py certificate --in EXE --out OUT --tag TEXT [--append]
  tag_exe.py trailer     --in EXE --out OUT --tag TEXT
  tag_exe.py show        --in EXE

"certificate" stores the tag in a dummy certificate added to the signature's
certificate set, a part of the file the signature's hash does not cover, so
the file stays validly signed. When the file already holds dummy
certificates, the first one's reserved area is rewritten in place, the others
are emptied and an old trailer block is blanked, so no length changes and
nothing of an earlier tag is left; --append adds another dummy certificate
instead (the installer concatenates the tags of all of them). An empty --tag
makes an untagged build.

"trailer" writes the older form: a "Tnxt" block after the signature blob,
inside the certificate table, replacing any block already there. Dummy
certificates are emptied in place, since the installer reads them first.

"show" prints the tags as the installer reads them.

Both grow or rewrite only the certificate table, which must be the last thing
in the file, as signing tools leave it. The PE checksum is brought up to date
when the file has one. --tag-file reads the tag bytes from a file instead.
"""

import argparse
import hashlib
import struct
import sys
from pathlib import Path

# The first 112 bytes of the dummy certificate's TBSCertificate contents:
# v3, serial 1, sha1WithRSAEncryption, issuer CN "Unknown issuer", validity
# 2013-01-01 to 2013-04-01, subject CN "Dummy certificate". The installer
# recognises a dummy certificate by exactly these bytes.
DUMMY_TEMPLATE = bytes.fromhex(
    "A003020102020101300D06092A864886F70D0101050500"
    "3019311730150603550403130E556E6B6E6F776E20697373756572"
    "301E170D3133303130313130303030305A170D3133303430313130303030305A"
    "301C311A30180603550403131144756D6D79206365727469666963617465")
assert len(DUMMY_TEMPLATE) == 112

TAG_AREA_SIZE = 10240  # Room for rewriting a tag in place.
TAG_EXTENSION_OID = "1.3.6.1.4.1.11129.2.1.9999"
TRAILER_MAGIC = b"Tnxt"
MAX_TRAILER_TAG = 0xFFFF


class TagError(Exception):
    pass


# --- DER --------------------------------------------------------------------

def der_length(length):
    if length < 0x80:
        return bytes([length])
    encoded = length.to_bytes((length.bit_length() + 7) // 8, "big")
    return bytes([0x80 | len(encoded)]) + encoded


def tlv(identifier, content):
    return bytes([identifier]) + der_length(len(content)) + content


def der_oid(dotted):
    parts = [int(p) for p in dotted.split(".")]
    body = bytearray([40 * parts[0] + parts[1]])
    for part in parts[2:]:
        chunk = [part & 0x7F]
        part >>= 7
        while part:
            chunk.append(0x80 | (part & 0x7F))
            part >>= 7
        body += bytes(reversed(chunk))
    return tlv(0x06, bytes(body))


def der_integer(value):
    raw = value.to_bytes(max(1, (value.bit_length() + 8) // 8), "big")
    return tlv(0x02, raw)


def sequence(*items):
    return tlv(0x30, b"".join(items))


class Element:
    """One DER element at an absolute offset of a buffer."""

    def __init__(self, data, offset, limit):
        if offset + 2 > limit:
            raise TagError(f"DER element header past its container at {offset}")
        first = data[offset + 1]
        if first < 0x80:
            header, length = 2, first
        else:
            count = first & 0x7F
            if not 1 <= count <= 4 or offset + 2 + count > limit:
                raise TagError(f"bad DER length at {offset}")
            header = 2 + count
            length = int.from_bytes(data[offset + 2:offset + header], "big")
        if offset + header + length > limit:
            raise TagError(f"DER element at {offset} runs past its container")
        self.data = data
        self.offset = offset
        self.identifier = data[offset]
        self.header = header
        self.start = offset + header
        self.end = self.start + length

    def children(self):
        found, cursor = [], self.start
        while cursor < self.end:
            child = Element(self.data, cursor, self.end)
            found.append(child)
            cursor = child.end
        return found

    def raw(self):
        return bytes(self.data[self.offset:self.end])

    def content(self):
        return bytes(self.data[self.start:self.end])


# --- The dummy certificate ---------------------------------------------------

def dummy_certificate(tag):
    """A certificate that carries `tag` in a reserved area of its fourth
    extension. Its key and signature are filler: nothing ever verifies it."""
    if len(tag) > TAG_AREA_SIZE:
        raise TagError(f"tag of {len(tag)} bytes exceeds the {TAG_AREA_SIZE}-byte area")
    filler = b"".join(hashlib.sha256(b"dummy certificate %d" % i).digest() for i in range(4))
    modulus = int.from_bytes(filler, "big") | (1 << 1023) | 1
    rsa_key = sequence(der_integer(modulus), der_integer(65537))
    spki = sequence(sequence(der_oid("1.2.840.113549.1.1.1"), b"\x05\x00"),
                    tlv(0x03, b"\x00" + rsa_key))
    true = b"\x01\x01\xff"
    extensions = sequence(
        sequence(der_oid("2.5.29.15"), true, tlv(0x04, b"\x03\x02\x07\x80")),
        sequence(der_oid("2.5.29.37"), tlv(0x04, sequence(der_oid("2.5.29.37.0")))),
        sequence(der_oid("2.5.29.19"), true, tlv(0x04, sequence())),
        sequence(der_oid(TAG_EXTENSION_OID), tlv(0x04, tag_payload(tag))))
    tbs = tlv(0x30, DUMMY_TEMPLATE + spki + tlv(0xA3, extensions))
    signature_algorithm = sequence(der_oid("1.2.840.113549.1.1.5"), b"\x05\x00")
    signature = tlv(0x03, b"\x00" + hashlib.sha512(filler).digest() * 2)
    return sequence(tbs, signature_algorithm, signature)


def tag_payload(tag):
    return struct.pack(">H", len(tag)) + tag + bytes(TAG_AREA_SIZE - len(tag))


def dummy_payload(certificate):
    """The tag extension's value of a dummy certificate, or None when the
    certificate is not one or has no usable payload."""
    try:
        tbs = certificate.children()[0]
        if tbs.content()[:len(DUMMY_TEMPLATE)] != DUMMY_TEMPLATE:
            return None
        wrapper = tbs.children()[7]
        extension = wrapper.children()[0].children()[3]
        value = extension.children()[1]
    except (IndexError, TagError):
        return None
    return value if value.end - value.start >= 2 else None


# --- PE and the certificate table ----------------------------------------------

class Image:
    def __init__(self, data):
        self.data = bytearray(data)
        if len(data) < 64 or data[:2] != b"MZ":
            raise TagError("not an MZ executable")
        self.pe = struct.unpack_from("<I", data, 60)[0]
        if data[self.pe:self.pe + 4] != b"PE\0\0":
            raise TagError("no PE signature")
        magic = struct.unpack_from("<H", data, self.pe + 24)[0]
        if magic == 0x10B:
            count = self.pe + 24 + 92
        elif magic == 0x20B:
            count = self.pe + 24 + 108
        else:
            raise TagError(f"unknown optional-header magic {magic:#x}")
        self.checksum_at = self.pe + 24 + 64
        self.directory_at = count + 4 + 4 * 8  # data directory 4
        self.table_offset, self.table_size = struct.unpack_from("<II", data, self.directory_at)
        if self.table_offset == 0 or self.table_size < 8:
            raise TagError("the executable is not signed")
        if self.table_offset + self.table_size != len(data):
            raise TagError("the certificate table is not at the end of the file")
        self.entry_length = struct.unpack_from("<I", data, self.table_offset)[0]
        self.content_info = Element(self.data, self.table_offset + 8, len(self.data))

    def signed_data(self):
        explicit = self.content_info.children()[1]
        return explicit.children()[0]

    def certificates_set(self):
        fields = self.signed_data().children()
        if len(fields) < 4 or fields[3].identifier != 0xA0:
            raise TagError("the signature has no certificate set")
        return fields[3]

    def replace_table(self, entry_content):
        """Makes `entry_content` (the bytes after the entry header) the only
        certificate entry, padded to a multiple of 8, and fixes the lengths."""
        unpadded = 8 + len(entry_content)
        padded = (unpadded + 7) & ~7
        # Keep the signing tool's habit of counting the padding or not.
        length = padded if self.entry_length == self.table_size else unpadded
        revision_and_type = self.data[self.table_offset + 4:self.table_offset + 8]
        table = (struct.pack("<I", length) + revision_and_type + entry_content
                 + bytes(padded - unpadded))
        del self.data[self.table_offset:]
        self.data += table
        struct.pack_into("<II", self.data, self.directory_at, self.table_offset, padded)

    def update_checksum(self):
        if struct.unpack_from("<I", self.data, self.checksum_at)[0] == 0:
            return
        struct.pack_into("<I", self.data, self.checksum_at, 0)
        padded = bytes(self.data) + bytes(len(self.data) % 2)
        total = 0
        for (word,) in struct.iter_unpack("<H", padded):
            total += word
            total = (total & 0xFFFF) + (total >> 16)
        total = (total & 0xFFFF) + (total >> 16)
        struct.pack_into("<I", self.data, self.checksum_at, (total + len(self.data)) & 0xFFFFFFFF)


def rebuild(element, new_content):
    return bytes([element.identifier]) + der_length(len(new_content)) + new_content


def dummy_payloads(image):
    return [p for p in map(dummy_payload, image.certificates_set().children()) if p is not None]


def write_payload(image, payload, tag):
    """Writes `tag` over the whole payload in place: length, tag, zeros."""
    room = payload.end - payload.start - 2
    if len(tag) > room:
        raise TagError(f"tag of {len(tag)} bytes exceeds the {room}-byte area")
    image.data[payload.start:payload.end] = (struct.pack(">H", len(tag)) + tag
                                             + bytes(room - len(tag)))


def trailer_block(image):
    """(offset, length) of the "Tnxt" block, or None."""
    if image.data[image.table_offset + 8:image.table_offset + 10] != b"\x30\x82":
        return None
    content_length = struct.unpack_from(">H", image.data, image.table_offset + 10)[0]
    block = image.table_offset + ((content_length + 19) & 0x1FFF8)
    if image.data[block:block + 4] != TRAILER_MAGIC:
        return None
    return block, min(6 + struct.unpack_from(">H", image.data, block + 4)[0],
                      len(image.data) - block)


def tag_certificate(image, tag, append):
    certificates = image.certificates_set()
    existing = dummy_payloads(image)
    if existing and not append:
        # Every earlier tag goes: the installer would concatenate the other
        # certificates' tags, and read an old trailer for an empty tag.
        write_payload(image, existing[0], tag)
        for payload in existing[1:]:
            write_payload(image, payload, b"")
        block = trailer_block(image)
        if block:
            offset, length = block
            image.data[offset:offset + length] = bytes(length)
        return
    # Rebuild every enclosing element with the longer certificate set;
    # anything after the ContentInfo inside the entry (an old trailer) goes.
    content_info = image.content_info
    explicit = content_info.children()[1]
    signed_data = explicit.children()[0]
    fields = signed_data.children()
    new_set = rebuild(certificates, certificates.content() + dummy_certificate(tag))
    new_signed_data = rebuild(signed_data, b"".join(
        new_set if field.offset == certificates.offset else field.raw() for field in fields))
    new_explicit = rebuild(explicit, new_signed_data)
    new_content_info = rebuild(content_info, content_info.children()[0].raw() + new_explicit)
    image.replace_table(new_content_info)


def tag_trailer(image, tag):
    if len(tag) > MAX_TRAILER_TAG:
        raise TagError(f"tag of {len(tag)} bytes does not fit a 16-bit length")
    if image.data[image.table_offset + 8:image.table_offset + 10] != b"\x30\x82":
        raise TagError("the signature does not use a two-byte DER length")
    # A certificate tag would win over the trailer; the signature's lengths stay.
    for payload in dummy_payloads(image):
        write_payload(image, payload, b"")
    content_length = struct.unpack_from(">H", image.data, image.table_offset + 10)[0]
    block_at = (content_length + 19) & 0x1FFF8  # from the table start
    signature = bytes(image.data[image.table_offset + 8:image.table_offset + 12 + content_length])
    gap = bytes(block_at - 8 - len(signature))
    block = TRAILER_MAGIC + struct.pack(">H", len(tag)) + tag
    image.replace_table(signature + gap + block)


def read_tags(image):
    """(certificate tag, trailer tag or None), as the installer reads them."""
    certificate_tag = b""
    for certificate in image.certificates_set().children():
        payload = dummy_payload(certificate)
        if payload is not None:
            content = payload.content()
            length = struct.unpack_from(">H", content)[0]
            if 2 + length <= len(content):
                certificate_tag += content[2:2 + length]
    trailer_tag = None
    block = trailer_block(image)
    if block:
        offset, _ = block
        length = struct.unpack_from(">H", image.data, offset + 4)[0]
        if offset + 6 + length <= len(image.data):
            trailer_tag = bytes(image.data[offset + 6:offset + 6 + length])
    return certificate_tag, trailer_tag


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog="tag_exe.py", description=__doc__,
        formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("placement", choices=("certificate", "trailer", "show"),
                        help="where the tag goes, or show the tags")
    parser.add_argument("--in", dest="source", type=Path, required=True,
                        help="the signed executable to read")
    parser.add_argument("--out", type=Path,
                        help="where the tagged executable goes (may equal --in)")
    source = parser.add_mutually_exclusive_group()
    source.add_argument("--tag", default=None, help="tag text (taken as UTF-8 bytes)")
    source.add_argument("--tag-file", type=Path, help="file holding the tag bytes")
    parser.add_argument("--append", action="store_true",
                        help="add another dummy certificate even if one exists")
    args = parser.parse_args(argv)
    try:
        image = Image(args.source.read_bytes())
        if args.placement == "show":
            certificate_tag, trailer_tag = read_tags(image)
            print(f"certificate_tag={certificate_tag.decode('latin-1')}")
            if trailer_tag is not None:
                print(f"trailer_tag={trailer_tag.decode('latin-1')}")
            return 0
        if args.out is None:
            parser.error("--out is required")
        tag = args.tag_file.read_bytes() if args.tag_file else (args.tag or "").encode("utf-8")
        if args.placement == "certificate":
            tag_certificate(image, tag, args.append)
        else:
            tag_trailer(image, tag)
        image.update_checksum()
        temporary = args.out.with_name(args.out.name + ".tmp")
        temporary.write_bytes(image.data)
        temporary.replace(args.out)
    except (TagError, OSError) as error:
        print(f"tag_exe.py: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
