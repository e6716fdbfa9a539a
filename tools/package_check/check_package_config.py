#!/usr/bin/python3
"""Checks brand and partner configurations before the build packs them.

  check_package_config.py [--name SHOWN_NAME] FILE

The installer reads a configuration as UTF-8 JSON with "//" line comments and
slash-star block comments (distribution/brand_config.cc); one that does not
parse leaves the brand to the defaults. This applies the same rules at build
time: an optional UTF-8 byte-order mark, UTF-8 throughout (comments too, since
the browser reads the file as well), the same comment removal, the JSON
parser's limits, and an object at the top. A failure prints
"FILE:LINE:COLUMN: error: TEXT" (FILE as --name gives it) and exits with 1.
"""

import argparse
import json
import math
import re
import sys

BYTE_ORDER_MARK = b"\xef\xbb\xbf"
INT64_MIN, INT64_MAX = -(1 << 63), (1 << 63) - 1
MAX_DEPTH = 2048  # The parser's own nesting limit.


class ConfigError(Exception):
    def __init__(self, text, source, offset):
        """`offset` counts characters of `source`, a text whose lines and
        columns are those of the file."""
        super().__init__(text)
        self.text = text
        self.line, self.column = position(source, offset)


def position(text, offset):
    """1-based line and column (in characters) of `offset` in `text`."""
    line = text.count("\n", 0, offset) + 1
    column = offset - (text.rfind("\n", 0, offset) + 1) + 1
    return line, column


def strip_comments(text):
    """The text without comments, with every line and column where it was:
    a line comment goes up to its line break, a block comment becomes one
    blank per character and keeps its line breaks."""
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if c == '"':
            start = i
            i += 1
            closed = False
            while i < len(text) and not closed:
                d = text[i]
                i += 1
                if d == "\\":
                    if i == len(text):
                        break
                    i += 1
                elif d == '"':
                    closed = True
            if not closed:
                raise ConfigError("string not terminated", text, start)
            out.append(text[start:i])
        elif text.startswith("//", i):
            end = text.find("\n", i)
            i = len(text) if end < 0 else end
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            if end < 0:
                raise ConfigError("comment not terminated", text, i)
            out.append("".join(ch if ch in "\r\n" else " " for ch in text[i:end + 2]))
            i = end + 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def check_depth(value, depth=1):
    if depth > MAX_DEPTH:
        raise ConfigError("maximum parsing depth reached", "", 0)
    children = value.values() if isinstance(value, dict) else value if isinstance(value, list) else ()
    for child in children:
        check_depth(child, depth + 1)


class BadToken(ValueError):
    """A token that Python's parser takes and the installer's refuses."""

    def __init__(self, text, token):
        super().__init__(text)
        self.token = token


def parse_int(text):
    value = int(text)
    if not INT64_MIN <= value <= INT64_MAX:
        raise BadToken("too big integer", text)
    return value


def parse_float(text):
    value = float(text)
    if math.isinf(value):
        raise BadToken("real number overflow", text)
    return value


def refuse_constant(name):
    raise BadToken("invalid token", name)


def token_offset(text, token):
    """Where `token` stands as a value of its own (not inside a string)."""
    pattern = r"(?<=[\s:\[,])" + re.escape(token) + r"(?=[\s,\]}]|$)"
    match = re.search(pattern, text)
    return match.start() if match else 0


def check(data):
    """Raises ConfigError when the installer could not read `data`."""
    if data.startswith(BYTE_ORDER_MARK):
        data = data[len(BYTE_ORDER_MARK):]
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as error:
        good = data[:error.start].decode("utf-8")
        raise ConfigError(f"not UTF-8: byte 0x{data[error.start]:02x}", good,
                          len(good)) from None
    # Comments go without moving anything, so positions in `stripped` are
    # positions in the file.
    stripped = strip_comments(text)
    start = len(stripped) - len(stripped.lstrip())
    try:
        root = json.loads(stripped, parse_int=parse_int, parse_float=parse_float,
                          parse_constant=refuse_constant)
    except json.JSONDecodeError as error:
        raise ConfigError(error.msg, stripped, error.pos) from None
    except BadToken as error:
        raise ConfigError(f"{error} {error.token}", stripped,
                          token_offset(stripped, error.token)) from None
    except RecursionError:
        raise ConfigError("maximum parsing depth reached", stripped, start) from None
    if not isinstance(root, dict):
        raise ConfigError("not a JSON object", stripped, start)
    check_depth(root)


def main(argv=None):
    parser = argparse.ArgumentParser(
        description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("file", help="the configuration to check")
    parser.add_argument("--name", help="the file name to report (default: FILE)")
    args = parser.parse_args(argv)
    shown = args.name or args.file
    try:
        with open(args.file, "rb") as source:
            data = source.read()
    except OSError as error:
        print(f"{shown}: error: {error.strerror}", file=sys.stderr)
        return 1
    try:
        check(data)
    except ConfigError as error:
        print(f"{shown}:{error.line}:{error.column}: error: {error.text}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
