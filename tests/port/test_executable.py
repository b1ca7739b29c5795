"""Reading the game's executable and recognising the supported build."""

import hashlib
import struct
import unittest

import port_helpers as h
from prepare import parse_self
from quor_modes import identify, is_supported


class SampleExecutableTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.supported = (h.sample_dump() / "eboot.bin").read_bytes()
        cls.other = (h.sample_dump(other_build=True) / "eboot.bin").read_bytes()

    def test_signed_executable_unwraps_to_its_elf(self):
        elf, header, ph, segments, meta = parse_self(self.supported)
        self.assertEqual(meta["format"], "self")
        self.assertEqual(elf[:4], b"\x7fELF")
        self.assertEqual(header["e_machine"], 62)
        self.assertEqual(len(ph), header["e_phnum"])
        self.assertEqual(len(segments), len(ph))
        # Every segment sits in the image where its program header says.
        for p, seg in zip(ph, segments):
            self.assertEqual(seg, elf[p["p_offset"]:p["p_offset"] + p["p_filesz"]])
            self.assertEqual(len(seg), p["p_filesz"])
        self.assertEqual(hashlib.sha256(elf).hexdigest(), meta["digest"])

    def test_plain_elf_reads_the_same_as_its_container(self):
        elf, header, ph, segments, _ = parse_self(self.supported)
        elf2, header2, ph2, segments2, meta2 = parse_self(elf)
        self.assertEqual(meta2["format"], "elf")
        self.assertEqual((elf2, header2, ph2, segments2), (elf, header, ph, segments))
        self.assertTrue(is_supported(elf2, ph2))

    def test_supported_and_other_builds(self):
        elf, _h, ph, _s, _m = parse_self(self.supported)
        self.assertTrue(is_supported(elf, ph))
        self.assertEqual(identify(elf, ph), "CUSA00000 01.01 EU")
        elf, _h, ph, _s, _m = parse_self(self.other)
        self.assertFalse(is_supported(elf, ph))
        self.assertIsNone(identify(elf, ph))

    def test_patched_code_with_the_original_note_is_not_supported(self):
        elf, _h, ph, _s, _m = parse_self(self.supported)
        code = next(p for p in ph if p["p_type"] == 1 and p["p_flags"] & 1)
        patched = bytearray(elf)
        patched[code["p_offset"] + 100] ^= 0xFF
        self.assertFalse(is_supported(bytes(patched), ph))

    def test_malformed_headers_give_false_not_an_error(self):
        elf, _h, ph, _s, _m = parse_self(self.supported)
        self.assertFalse(is_supported(elf, []))
        self.assertFalse(is_supported(elf, [{"p_type": 4, "p_offset": 1 << 40, "p_filesz": 64}]))
        self.assertFalse(is_supported(elf, [{"p_type": 4, "p_offset": "x", "p_filesz": None}, "junk"]))
        self.assertFalse(is_supported(b"", ph))
        # A note whose sizes run past its segment.
        bad = bytearray(elf)
        note = next(p for p in ph if p["p_type"] == 4)
        struct.pack_into("<I", bad, note["p_offset"] + 4, 0xFFFFFFF0)
        self.assertFalse(is_supported(bytes(bad), ph))


class RejectionTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.data = (h.sample_dump() / "eboot.bin").read_bytes()
        cls.elf = parse_self(cls.data)[0]

    def assertRejected(self, data, why):
        with self.assertRaises(ValueError, msg=why):
            parse_self(data)

    def test_garbage_and_empty_input(self):
        for data in (b"", b"\x7fEL", b"PK\x03\x04" + bytes(100), bytes(4096), b"\x4f\x15\x3d\x1d"):
            self.assertRejected(data, repr(data[:8]))
        with self.assertRaises(TypeError):
            parse_self("eboot.bin")

    def test_every_truncation_is_refused(self):
        for data in (self.data, self.elf):
            for n in range(0, len(data), 7):
                self.assertRejected(data[:n], f"cut at {n} of {len(data)}")

    def test_trailing_bytes_after_the_container_are_ignored(self):
        self.assertEqual(parse_self(self.data + b"\x00" * 100)[0], self.elf)

    def _patched(self, data, offset, fmt, value):
        out = bytearray(data)
        struct.pack_into(fmt, out, offset, value)
        return bytes(out)

    def test_bad_offsets_in_the_container(self):
        cases = {
            "big-endian container": (6, "<B", 2),
            "header size inside the segment table": (12, "<H", 40),
            "header size past the end": (12, "<H", 0xFFFF),
            "segment count beyond the header": (24, "<H", 500),
            "segment names a missing program header": (32, "<Q", 9 << 20),
            "encrypted segment": (32, "<Q", 1 << 1),
            "compressed segment": (32, "<Q", 1 << 3),
            "segment data past the end": (40, "<Q", 1 << 40),
            "segment larger than its program header": (48, "<Q", 1 << 20),
            "extended info too small": (14, "<H", 8),
        }
        for why, (offset, fmt, value) in cases.items():
            self.assertRejected(self._patched(self.data, offset, fmt, value), why)

    def test_bad_offsets_in_the_embedded_elf(self):
        header_size = struct.unpack_from("<H", self.data, 12)[0]
        # e_phoff far away, and a program header whose p_offset asks for a huge image.
        self.assertRejected(self._patched(self.data, header_size + 32, "<Q", 1 << 50), "e_phoff")
        self.assertRejected(self._patched(self.data, header_size + 64 + 8, "<Q", 1 << 45), "p_offset")
        self.assertRejected(self._patched(self.data, header_size + 4, "<B", 1), "32-bit class")

    def test_damaged_segment_fails_the_digest(self):
        entry_offset = struct.unpack_from("<Q", self.data, 40)[0]
        self.assertRejected(self._patched(self.data, entry_offset + 10, "<B", self.data[entry_offset + 10] ^ 1),
                            "flipped code byte")

    def test_bad_offsets_in_a_plain_elf(self):
        self.assertRejected(self._patched(self.elf, 32, "<Q", len(self.elf)), "e_phoff at the end")
        self.assertRejected(self._patched(self.elf, 64 + 8, "<Q", 1 << 40), "p_offset past the end")
        self.assertRejected(self._patched(self.elf, 54, "<H", 32), "odd program header size")


class CheckScriptTest(unittest.TestCase):
    """The launcher's eight-line script, run exactly as it runs it."""

    def test_answers(self):
        self.assertEqual(h.run_check_script(h.sample_dump() / "eboot.bin").stdout, "SUPPORTED\n")
        self.assertEqual(h.run_check_script(h.sample_dump(other_build=True) / "eboot.bin").stdout, "OTHER\n")
        self.assertEqual(h.run_check_script(h.sample_dump() / "sce_sys" / "param.sfo").stdout, "UNREADABLE\n")
        self.assertEqual(h.run_check_script(h.session_dir() / "missing.bin").stdout, "UNREADABLE\n")

    def test_plain_elf_dump_is_supported_too(self):
        path = h.session_dir() / "plain-eboot.bin"
        path.write_bytes(parse_self((h.sample_dump() / "eboot.bin").read_bytes())[0])
        self.assertEqual(h.run_check_script(path).stdout, "SUPPORTED\n")


if __name__ == "__main__":
    unittest.main()
