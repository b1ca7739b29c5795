"""Which game executable the port's modes (60 FPS, 16x AF) are made for.

The modes patch the game's code at fixed addresses, so they only fit one
build: the European release CUSA00000, version 01.01. A build is recognised
by its GNU build-id note (a PT_NOTE segment holding a note of owner "GNU",
type 3), which the toolchain derives as the SHA-1 of the executable's code
segment (the first loadable segment marked executable).

is_supported(elf, ph) is true when
  1. the build id is one of KNOWN_BUILDS marked as supported, and
  2. the code segment really hashes to that id, so an executable whose code
     was patched or damaged but kept its note is not mistaken for the build.

`elf` is the plain ELF image and `ph` its program headers, both as returned
by prepare.parse_self. Malformed notes or headers simply make the answer
false; nothing here raises on bad input.
"""

import hashlib
import struct

PT_LOAD = 1
PT_NOTE = 4
PF_X = 1
NT_GNU_BUILD_ID = 3

SUPPORTED_BUILD = "CUSA00000 01.01 EU"

# build id (hex) -> build
KNOWN_BUILDS = {
    "bdd5c14fca1eca49e6bb2cb9d9031711b38283af": SUPPORTED_BUILD,
}

# The modes that the supported build can run, as named in QUOR_MODES.
MODES = ("af16", "fps60")


def _header_range(elf, p):
    """(start, end) of a program header's file data inside the image, or None."""
    try:
        start, size = int(p["p_offset"]), int(p["p_filesz"])
    except (KeyError, TypeError, ValueError):
        return None
    if start < 0 or size < 0 or start + size > len(elf):
        return None
    return start, start + size


def _notes(blob):
    """Yields (owner, type, descriptor) for each well-formed ELF note."""
    pos = 0
    while pos + 12 <= len(blob):
        namesz, descsz, ntype = struct.unpack_from("<III", blob, pos)
        name_at = pos + 12
        desc_at = name_at + ((namesz + 3) & ~3)
        end = desc_at + ((descsz + 3) & ~3)
        if desc_at + descsz > len(blob):
            return
        yield blob[name_at:name_at + namesz].rstrip(b"\x00"), ntype, blob[desc_at:desc_at + descsz]
        pos = end


def build_id(elf, ph):
    """The hex build id recorded in the executable's notes, or None."""
    for p in ph or ():
        if not isinstance(p, dict) or p.get("p_type") != PT_NOTE:
            continue
        span = _header_range(elf, p)
        if span is None:
            continue
        for owner, ntype, desc in _notes(bytes(elf[span[0]:span[1]])):
            if owner == b"GNU" and ntype == NT_GNU_BUILD_ID and desc:
                return desc.hex()
    return None


def code_digest(elf, ph):
    """SHA-1 (hex) of the first executable loadable segment, or None."""
    for p in ph or ():
        if isinstance(p, dict) and p.get("p_type") == PT_LOAD and int(p.get("p_flags", 0)) & PF_X:
            span = _header_range(elf, p)
            return None if span is None else hashlib.sha1(elf[span[0]:span[1]]).hexdigest()
    return None


def identify(elf, ph):
    """Name of the known build this executable is, or None."""
    try:
        bid = build_id(elf, ph)
        if bid is None or bid not in KNOWN_BUILDS or code_digest(elf, ph) != bid:
            return None
    except (TypeError, ValueError):  # not an image or headers of the expected shape
        return None
    return KNOWN_BUILDS[bid]


def is_supported(elf, ph):
    """True when the executable is the build the modes are made for."""
    return identify(elf, ph) == SUPPORTED_BUILD
