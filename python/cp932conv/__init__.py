# SPDX-License-Identifier: MIT
"""CP932 codecs with varnok's and dostrel's tables, letters and audit.

Importing the package registers two families of codecs with Python's codec registry:

  cp932-vk, cp932-vk-LETTERS   decoding as varnok decodes with those letters (c y o v z e d f j
                               s a k); encoding as dostrel encodes with the same variant letters
                               (c has no part there: dostrel always gives the user-defined area
                               back)
  cp932-ds, cp932-ds-LETTERS   encoding as dostrel encodes with those letters (y r z s o i j v e
                               b d t f n a k q); decoding as varnok with the same variant letters

so that b"\\x81\\x60".decode("cp932-vk-d") is U+301C WAVE DASH, and "\\u2014".encode("cp932-ds-e")
is b"\\x81\\x5c". The names never collide with Python's own "cp932". Error handlers: "strict"
raises at the first loss, "ignore" drops what has no mapping, "replace" writes U+FFFD (decoding)
or "?" (encoding), "xmlcharrefreplace" writes "&#N;" for characters of the BMP; any other
handler (backslashreplace, one of your own) is called for each loss. audit() lists what a
conversion drops.
"""
import codecs
import sys
import threading

from ._cp932conv import Converter

DECODE, ENCODE = 0, 1
UTF16BE, UTF16LE, UTF8 = 0, 1, 2
# Python's own str is made from UTF-16 in the machine's byte order, the cheapest way there.
_UTF16 = UTF16LE if sys.byteorder == "little" else UTF16BE
_UTF16_NAME = "utf-16-le" if sys.byteorder == "little" else "utf-16-be"

DECODE_LETTERS = frozenset("cyovzedfjsak")
ENCODE_LETTERS = frozenset("yrzsoijvebdtfnakq")
_SHARED = DECODE_LETTERS & ENCODE_LETTERS


def _letters_of(name):
    """(decoding letters, encoding letters) for a codec name, or None."""
    name = name.lower().replace("-", "_")
    for family, own, other in (("cp932_vk", DECODE_LETTERS, "decode"),
                               ("cp932_ds", ENCODE_LETTERS, "encode")):
        if name == family:
            letters = ""
        elif name.startswith(family + "_"):
            letters = name[len(family) + 1:]
        else:
            continue
        if not letters and name != family or not set(letters) <= own:
            return None
        shared = "".join(letter for letter in letters if letter in _SHARED)
        return (letters, shared) if other == "decode" else (shared, letters)
    return None


class _Conversions:
    """The converters of one codec name, by direction and error handler."""

    def __init__(self, name, decode_letters, encode_letters):
        self.name = name
        self.decode_letters = decode_letters
        self.encode_letters = encode_letters
        self.kept = threading.local()  # a thread's converters for whole conversions

    def reused(self, direction, errors, form=_UTF16):
        """A converter for a whole conversion, made once a thread, fresh for its input."""
        kept = self.kept.__dict__
        converter = kept.get((direction, errors, form))
        if converter is None:
            converter = kept[(direction, errors, form)] = self.converter(direction, errors, form)
        converter.reset()
        return converter

    def converter(self, direction, errors, form=_UTF16):
        if direction == DECODE:
            replacement = 0xFFFD if errors == "replace" else None
            return Converter(DECODE, _UTF16, self.decode_letters, replacement)
        letters = self.encode_letters + ("g" if errors == "xmlcharrefreplace" else "")
        replacement = 0x3F if errors == "replace" else None
        return Converter(ENCODE, form, letters, replacement)


_NATIVE = ("strict", "ignore", "replace", "xmlcharrefreplace")


def _utf16_of(text):
    return text.encode(_UTF16_NAME, "surrogatepass")


def _index_of(units, offset):
    """The index in a str of the UTF-16 byte `offset` into its units."""
    return len(units[:offset].decode(_UTF16_NAME, "surrogatepass"))


def _decode(conversions, converter, data, errors, final):
    """str of `data` through `converter` (a decoder kept between calls)."""
    if errors not in _NATIVE or errors == "xmlcharrefreplace":
        return _decode_with_handler(conversions, data, errors)
    dropped = converter.dropped
    text = converter.text(data, final)
    if errors == "strict" and converter.dropped != dropped:
        converter.reset()
        _, items = converter.audit(data, True)
        converter.reset()
        offset, length = (items[0][0], items[0][1]) if items else (0, len(data))
        raise UnicodeDecodeError(conversions.name, bytes(data), offset, offset + length,
                                 items[0][4] if items else "no character")
    return text


def _decode_with_handler(conversions, data, errors):
    """Decodes `data` whole, calling the error handler `errors` for each loss."""
    handler = codecs.lookup_error(errors)
    converter = conversions.converter(DECODE, "strict")
    pieces, at, data = [], 0, bytes(data)
    while True:
        converter.reset()
        units, items = converter.audit(data[at:], True)
        if not items:
            pieces.append(units.decode(_UTF16_NAME, "surrogatepass"))
            return "".join(pieces)
        offset, length = items[0][0] + at, items[0][1]
        converter.reset()
        pieces.append(converter.convert(data[at:offset], True).decode(_UTF16_NAME, "surrogatepass"))
        error = UnicodeDecodeError(conversions.name, data, offset, offset + length, items[0][4])
        replacement, at = handler(error)
        pieces.append(replacement)
        at = at if at >= 0 else len(data) + at


def _encode(conversions, text, errors):
    """bytes of `text`, a whole str (an encoder keeps nothing between strs)."""
    if errors not in _NATIVE or text.startswith("\ufeff"):
        return _encode_with_handler(conversions, text, errors)
    # Read where the str holds it: ASCII as UTF-8, two-byte characters as UTF-16.
    converter = conversions.reused(ENCODE, errors, UTF8 if text.isascii() else _UTF16)
    out = converter.encode_text(text, True)
    if out is None:
        converter = conversions.reused(ENCODE, errors)
        out = converter.convert(_utf16_of(text), True)
    if converter.dropped == 0 or errors in ("ignore", "replace"):
        return out
    if errors == "xmlcharrefreplace":  # beyond the BMP, or a lone surrogate
        return _encode_with_handler(conversions, text, errors)
    units = _utf16_of(text)
    _, items = conversions.reused(ENCODE, "strict").audit(units, True)
    offset, length = items[0][0], items[0][1]
    start = _index_of(units, offset)
    end = start + len(units[offset:offset + length].decode(_UTF16_NAME, "surrogatepass"))
    raise UnicodeEncodeError(conversions.name, text, start, end, items[0][4])


def _encode_with_handler(conversions, text, errors):
    """Encodes `text` whole, calling the error handler `errors` for each loss (and for a
    U+FEFF at its start, which an encoder would take for a byte order mark)."""
    handler = codecs.lookup_error(errors) if errors not in _NATIVE else None
    converter = conversions.converter(ENCODE, "strict")
    pieces, at = [], 0
    while at < len(text) or not pieces:
        rest = text[at:]
        converter.reset()
        if rest.startswith("\ufeff"):
            start, end, reason = at, at + 1, "U+FEFF has no code"
            out = b""
        else:
            units = _utf16_of(rest)
            out, items = converter.audit(units, True)
            if not items:
                pieces.append(out)
                break
            offset, length = items[0][0], items[0][1]
            converter.reset()
            out = converter.convert(units[:offset], True)
            start = at + _index_of(units, offset)
            end = start + len(units[offset:offset + length].decode(_UTF16_NAME, "surrogatepass"))
            reason = items[0][4]
        pieces.append(out)
        error = UnicodeEncodeError(conversions.name, text, start, end, reason)
        if handler is None:
            if errors == "strict":
                raise error
            replacement, at = ({"ignore": "", "replace": "?"}.get(errors)
                               or "&#%d;" % ord(text[start]), end)
        else:
            replacement, at = handler(error)
        at = at if at >= 0 else len(text) + at
        if isinstance(replacement, str):
            replacement = _encode(conversions, replacement, "strict")
        pieces.append(bytes(replacement))
        if at >= len(text):
            break
    return b"".join(pieces)


def _codec_info(name):
    letters = _letters_of(name)
    if letters is None:
        return None
    conversions = _Conversions(name.lower().replace("_", "-"), *letters)

    def decode(data, errors="strict"):
        return _decode(conversions, conversions.reused(DECODE, errors), data, errors,
                       True), len(data)

    def encode(text, errors="strict"):
        return _encode(conversions, text, errors), len(text)

    class IncrementalDecoder(codecs.IncrementalDecoder):
        def __init__(self, errors="strict"):
            super().__init__(errors)
            self.converter = None
            self.kept = b""  # with another handler: the input, decoded whole at its end

        def decode(self, data, final=False):
            if self.errors not in _NATIVE or self.errors == "xmlcharrefreplace":
                self.kept += bytes(data)
                if not final:
                    return ""
                data, self.kept = self.kept, b""
                return _decode_with_handler(conversions, data, self.errors)
            if self.converter is None:
                self.converter = conversions.converter(DECODE, self.errors)
            text = _decode(conversions, self.converter, data, self.errors, final)
            if final:
                self.converter.reset()
            return text

        def reset(self):
            self.kept = b""
            if self.converter is not None:
                self.converter.reset()

    class IncrementalEncoder(codecs.IncrementalEncoder):
        # A str never cuts a character: each piece is encoded on its own.
        def encode(self, text, final=False):
            return _encode(conversions, text, self.errors)

    class StreamWriter(codecs.StreamWriter):
        def encode(self, text, errors="strict"):
            return encode(text, errors)

    class StreamReader(codecs.StreamReader):
        # Reads go through an incremental decoder, which keeps a character that a read cuts.
        def decode(self, data, errors="strict", final=False):
            if getattr(self, "incremental", None) is None:
                self.incremental = IncrementalDecoder(errors)
            return self.incremental.decode(data, final), len(data)

    return codecs.CodecInfo(name=conversions.name, encode=encode, decode=decode,
                            incrementalencoder=IncrementalEncoder,
                            incrementaldecoder=IncrementalDecoder,
                            streamreader=StreamReader, streamwriter=StreamWriter)


def audit(data, name="cp932-vk"):
    """What decoding `data` (bytes) with the codec `name` drops: a list of dicts with the
    offset, length, line, column, description and value of each item, as varnok's w reports
    them."""
    letters = _letters_of(name)
    if letters is None:
        raise LookupError("unknown encoding: " + name)
    _, items = Converter(DECODE, _UTF16, letters[0]).audit(data, True)
    keys = ("offset", "length", "line", "column", "description", "value", "replaced")
    return [dict(zip(keys, item)) for item in items]


codecs.register(_codec_info)
