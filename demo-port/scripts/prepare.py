"""Reads the game's executable (eboot.bin) into a plain ELF image.

Dumps come in two shapes and both are accepted:

* a plain 64-bit little-endian ELF (already unwrapped by the dumping tool);
* a signed executable ("SELF"): a container around the ELF that stores each
  program segment separately. The container this port reads is laid out as
  follows (all numbers little-endian, offsets from the start of the file):

  SELF header, 32 bytes
    0   4  magic            4F 15 3D 1D
    4   1  version          not checked
    5   1  mode             not checked
    6   1  endian           1 (little-endian); anything else is refused
    7   1  attributes
    8   4  key_type
    12  2  header_size      offset of the embedded ELF header, at least
                            32 + 32 * segment_count
    14  2  meta_size        size of the extended info block (0 or >= 64)
    16  8  file_size        size of the whole container; a shorter file is
                            truncated and refused
    24  2  segment_count
    26  2  flags
    28  4  reserved

  Segment table, segment_count entries of 32 bytes from offset 32
    0   8  props            bits 20..31: index of the ELF program header the
                            data belongs to; bit 1: encrypted; bit 3:
                            compressed (neither can be read here: the player
                            must dump the game decrypted)
    8   8  offset           where the data lies in the container
    16  8  filesz           bytes of data; at most the program header's
                            p_filesz
    24  8  memsz            not used

  Embedded ELF header (64 bytes) at header_size, its program headers at
  header_size + e_phoff. Their p_offset fields are offsets in the
  unwrapped image, not in the container.

  Extended info, meta_size bytes at the next 16-byte boundary after the
  program headers (only when meta_size is not 0):
    0   8  authority_id
    8   8  program_type
    16  8  app_version
    24  8  fw_version
    32  32 digest           SHA-256 of the unwrapped ELF image; all zeros
                            means "not recorded"

parse_self(data) returns (elf_image, header, program_headers, segments,
metadata):
  elf_image        bytes of the plain ELF (for a SELF: rebuilt from its
                   headers and segments, gaps zero-filled)
  header           dict of the ELF header fields (e_type, e_machine, ...)
  program_headers  list of dicts (p_type, p_flags, p_offset, p_vaddr,
                   p_paddr, p_filesz, p_memsz, p_align), in file order
  segments         list of bytes, the file data of each program header
                   inside elf_image (b"" when it has none)
  metadata         dict: "format" is "self" or "elf"; for a SELF also the
                   container's header fields, its segment table and the
                   extended info

Anything that is not one of these two shapes, or whose offsets and sizes do
not fit the file, raises ValueError. Nothing here trusts a size field enough
to allocate more memory than the input justifies.
"""

import hashlib
import struct

SELF_MAGIC = b"\x4f\x15\x3d\x1d"
ELF_MAGIC = b"\x7fELF"

SELF_HEADER = struct.Struct("<4sBBBBIHHQHHI")  # 32 bytes
SELF_ENTRY = struct.Struct("<QQQQ")  # 32 bytes
SELF_EXTENDED = struct.Struct("<QQQQ32s")  # 64 bytes
ELF_HEADER = struct.Struct("<16sHHIQQQIHHHHHH")  # 64 bytes
ELF_PHDR = struct.Struct("<IIQQQQQQ")  # 56 bytes

PROP_ENCRYPTED = 1 << 1
PROP_COMPRESSED = 1 << 3

ELFCLASS64 = 2
ELFDATA2LSB = 1

# A rebuilt image may be larger than the container only by alignment gaps;
# this bound keeps a forged p_offset from asking for gigabytes.
IMAGE_SLACK = 16 * 1024 * 1024

PHDR_FIELDS = ("p_type", "p_flags", "p_offset", "p_vaddr", "p_paddr", "p_filesz", "p_memsz", "p_align")


def _elf_header(data, base):
    """Parses and checks the ELF header at `base`; returns a dict."""
    if base < 0 or len(data) < base + ELF_HEADER.size:
        raise ValueError("ELF header truncated")
    (ident, e_type, e_machine, e_version, e_entry, e_phoff, e_shoff, e_flags,
     e_ehsize, e_phentsize, e_phnum, e_shentsize, e_shnum, e_shstrndx) = ELF_HEADER.unpack_from(data, base)
    if ident[:4] != ELF_MAGIC:
        raise ValueError("not an ELF file")
    if ident[4] != ELFCLASS64 or ident[5] != ELFDATA2LSB:
        raise ValueError("only 64-bit little-endian ELF files are supported")
    if e_phnum and e_phentsize != ELF_PHDR.size:
        raise ValueError(f"unexpected program header size {e_phentsize}")
    return {
        "ident": ident, "e_type": e_type, "e_machine": e_machine, "e_version": e_version,
        "e_entry": e_entry, "e_phoff": e_phoff, "e_shoff": e_shoff, "e_flags": e_flags,
        "e_ehsize": e_ehsize, "e_phentsize": e_phentsize, "e_phnum": e_phnum,
        "e_shentsize": e_shentsize, "e_shnum": e_shnum, "e_shstrndx": e_shstrndx,
    }


def _program_headers(data, start, count):
    end = start + count * ELF_PHDR.size
    if start < 0 or end > len(data):
        raise ValueError("program headers lie outside the file")
    return [dict(zip(PHDR_FIELDS, ELF_PHDR.unpack_from(data, start + i * ELF_PHDR.size)))
            for i in range(count)]


def _segment_data(image, headers):
    """File data of each program header inside the image; refuses headers
    that point outside it."""
    out = []
    for i, ph in enumerate(headers):
        if ph["p_filesz"] == 0:
            out.append(b"")
            continue
        end = ph["p_offset"] + ph["p_filesz"]
        if end > len(image):
            raise ValueError(f"program header {i} points outside the image")
        out.append(bytes(image[ph["p_offset"]:end]))
    return out


def _parse_elf(data):
    header = _elf_header(data, 0)
    headers = _program_headers(data, header["e_phoff"], header["e_phnum"])
    image = bytes(data)
    return image, header, headers, _segment_data(image, headers), {"format": "elf"}


def _parse_self(data):
    if len(data) < SELF_HEADER.size:
        raise ValueError("SELF header truncated")
    (_magic, version, mode, endian, attributes, key_type, header_size, meta_size,
     file_size, count, flags, _reserved) = SELF_HEADER.unpack_from(data, 0)
    if endian != 1:
        raise ValueError("SELF is not little-endian")
    if file_size > len(data):
        raise ValueError(f"SELF truncated: {len(data)} of {file_size} bytes")
    data = data[:file_size]  # anything after the container is not ours
    table_end = SELF_HEADER.size + count * SELF_ENTRY.size
    if header_size < table_end or header_size >= file_size:
        raise ValueError("SELF header size does not fit its segment table")

    header = _elf_header(data, header_size)
    if header["e_phoff"] < ELF_HEADER.size:
        raise ValueError("program headers overlap the ELF header")
    phdr_start = header_size + header["e_phoff"]
    headers = _program_headers(data, phdr_start, header["e_phnum"])
    phdr_end = header["e_phoff"] + header["e_phnum"] * ELF_PHDR.size

    entries = []
    image_size = phdr_end
    for i in range(count):
        props, offset, filesz, memsz = SELF_ENTRY.unpack_from(data, SELF_HEADER.size + i * SELF_ENTRY.size)
        index = (props >> 20) & 0xFFF
        if props & (PROP_ENCRYPTED | PROP_COMPRESSED):
            raise ValueError(f"segment {i} is encrypted or compressed; dump the game decrypted")
        if index >= len(headers):
            raise ValueError(f"segment {i} names program header {index}, which does not exist")
        if offset < header_size or offset + filesz > file_size:
            raise ValueError(f"segment {i} lies outside the file")
        if filesz > headers[index]["p_filesz"]:
            raise ValueError(f"segment {i} is larger than its program header")
        entries.append({"props": props, "index": index, "offset": offset, "filesz": filesz, "memsz": memsz})
        image_size = max(image_size, headers[index]["p_offset"] + filesz)
    if image_size > file_size + IMAGE_SLACK:
        raise ValueError("program headers claim an image far larger than the file")

    # The unwrapped image: ELF header and program headers first, then every
    # stored segment at the place its program header names.
    image = bytearray(image_size)
    image[:phdr_end] = data[header_size:header_size + phdr_end]
    for e in entries:
        dest = headers[e["index"]]["p_offset"]
        image[dest:dest + e["filesz"]] = data[e["offset"]:e["offset"] + e["filesz"]]
    image = bytes(image)

    metadata = {
        "format": "self", "version": version, "mode": mode, "attributes": attributes,
        "key_type": key_type, "flags": flags, "file_size": file_size, "entries": entries,
    }
    if meta_size:
        if meta_size < SELF_EXTENDED.size:
            raise ValueError("extended info too small")
        ext_start = (phdr_start + header["e_phnum"] * ELF_PHDR.size + 15) & ~15
        if ext_start + meta_size > file_size:
            raise ValueError("extended info lies outside the file")
        authority, ptype, app_version, fw_version, digest = SELF_EXTENDED.unpack_from(data, ext_start)
        if any(digest) and hashlib.sha256(image).digest() != digest:
            raise ValueError("SELF digest does not match its contents (damaged dump?)")
        metadata.update({
            "authority_id": authority, "program_type": ptype, "app_version": app_version,
            "fw_version": fw_version, "digest": digest.hex(),
        })

    # A segment of a header that the container did not store reads as zeros
    # (gaps), but it must still lie inside the rebuilt image.
    return image, header, headers, _segment_data(image, headers), metadata


def parse_self(data):
    """Parses a SELF or plain ELF executable; see the module documentation."""
    if not isinstance(data, (bytes, bytearray, memoryview)):
        raise TypeError("parse_self expects the executable's bytes")
    data = bytes(data)
    if data[:4] == SELF_MAGIC:
        return _parse_self(data)
    if data[:4] == ELF_MAGIC:
        return _parse_elf(data)
    raise ValueError("neither a SELF nor an ELF executable")
