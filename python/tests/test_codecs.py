# SPDX-License-Identifier: MIT
"""The codecs against the programs, and Python's own contracts for codecs: names, incremental
decoding and encoding at every split, error handlers, TextIOWrapper, threads."""
import codecs
import io
import os
import subprocess
import threading

import pytest

import cp932conv

# (codec, CP932 bytes, text): decoding gives the text, encoding gives the bytes back, and the
# program with the same letters gives the same.
ROUND_TRIPS = [
    ("cp932-vk", b"A\x82\xa0\x88\x9f\n", "Aあ亜\n"),
    ("cp932-vk-yd", b"\x5c100\x81\x60", "\u00a5100\u301c"),
    ("cp932-vk-c", b"\xf0\x40", "\ue000"),
    ("cp932-ds-e", b"\x81\x5c", "\u2014"),
    ("cp932-ds-q", b"\xfa\x4a", "\u2160"),
    ("cp932-vk", b"\xb1\xb2", "\uff71\uff72"),
]


@pytest.mark.parametrize("name,data,text", ROUND_TRIPS)
def test_decodes_and_encodes_as_the_programs(name, data, text):
    assert data.decode(name) == text
    if name != "cp932-ds-q":  # q chooses the IBM code; decoding gives the character back
        assert text.encode(name) == data
    family, _, letters = name[6:].partition("-")
    varnok, dostrel = os.environ.get("VARNOK"), os.environ.get("DOSTREL")
    if varnok and family == "vk":
        out = subprocess.run([varnok, "-l" + letters], input=data, capture_output=True).stdout
        assert out.decode("utf-16-le") == text
    if dostrel and family == "ds":
        out = subprocess.run([dostrel, "-L" + letters], input=text.encode("utf-16-le"),
                             capture_output=True).stdout
        assert out == data


def test_names_are_their_own():
    assert codecs.lookup("cp932-vk-yd").name == "cp932-vk-yd"
    assert codecs.lookup("CP932_VK").name == "cp932-vk"
    assert codecs.lookup("cp932").name == "cp932"  # Python's own is untouched
    for bad in ("cp932-vk-q", "cp932-ds-c", "cp932-vk-yb", "cp932-xx"):
        with pytest.raises(LookupError):
            codecs.lookup(bad)


TEXT = "Aあ亜\u301c\n" * 3 + "\U0001f600"  # the last one has no code


def test_incremental_decoding_at_every_split():
    data = TEXT[:-1].encode("cp932-vk-d")
    for cut in range(len(data) + 1):
        decoder = codecs.getincrementaldecoder("cp932-vk-d")()
        assert decoder.decode(data[:cut]) + decoder.decode(data[cut:], final=True) == TEXT[:-1]


def test_incremental_encoding_in_pieces():
    encoder = codecs.getincrementalencoder("cp932-ds-d")(errors="replace")
    out = b"".join(encoder.encode(ch) for ch in TEXT) + encoder.encode("", final=True)
    assert out == TEXT.encode("cp932-ds-d", "replace")
    assert out.endswith(b"?")


DECODE_ERRORS = [
    ("strict", None),
    ("ignore", "AB"),
    ("replace", "A\ufffdB"),
    ("backslashreplace", "A\\x80B"),
]


@pytest.mark.parametrize("errors,expected", DECODE_ERRORS)
def test_decode_error_handlers(errors, expected):
    if expected is None:
        with pytest.raises(UnicodeDecodeError) as raised:
            b"A\x80B".decode("cp932-vk", errors)
        assert (raised.value.start, raised.value.end) == (1, 2)
    else:
        assert b"A\x80B".decode("cp932-vk", errors) == expected


ENCODE_ERRORS = [
    ("strict", None),
    ("ignore", b"AB"),
    ("replace", b"A??B"),
    ("xmlcharrefreplace", b"A&#233;&#128512;B"),
    ("backslashreplace", b"A\\xe9\\U0001f600B"),
]


@pytest.mark.parametrize("errors,expected", ENCODE_ERRORS)
def test_encode_error_handlers(errors, expected):
    text = "A\u00e9\U0001f600B"
    if expected is None:
        with pytest.raises(UnicodeEncodeError) as raised:
            text.encode("cp932-vk", errors)
        assert (raised.value.start, raised.value.end) == (1, 2)
    else:
        assert text.encode("cp932-vk", errors) == expected


def test_a_leading_byte_order_mark_character_is_a_character():
    with pytest.raises(UnicodeEncodeError):
        "\ufeffA".encode("cp932-vk")
    assert "\ufeffA".encode("cp932-vk", "replace") == b"?A"


def test_text_files_round_trip():
    buffer = io.BytesIO()
    with io.TextIOWrapper(buffer, encoding="cp932-vk-yd", write_through=True) as out:
        out.write(TEXT[:-1] + "\u00a5")
        out.flush()
        data = buffer.getvalue()
        assert data.endswith(b"\x5c")
        back = io.TextIOWrapper(io.BytesIO(data), encoding="cp932-vk-yd").read()
        assert back == TEXT[:-1] + "\u00a5"


def test_audit_lists_what_decoding_drops():
    assert [(i["line"], i["column"], i["description"]) for i in cp932conv.audit(
        b"A\x80\n\xf0\x40")] == [(1, 2, "invalid byte 0x80"), (2, 1, "code 0xF040 has no character")]


def test_codecs_with_other_letters_in_two_threads():
    data = b"\x5c\x82\xa0" * 100000
    expected = {name: data.decode(name) for name in ("cp932-vk", "cp932-vk-y")}
    results = {}

    def decode(name):
        results[name] = all(data.decode(name) == expected[name] for _ in range(20))

    threads = [threading.Thread(target=decode, args=(name,)) for name in expected]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert results == {"cp932-vk": True, "cp932-vk-y": True}
