"""The PC search: dumps, sound modules, saves and DLC in a made-up home."""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

import port_helpers as h
import quor_discovery as d


def copy_dump(src, dest):
    shutil.copytree(src, dest)
    return dest


def make_home(root):
    """A home folder with two dumps, a foreign title, sound modules, emulator
    saves, a link loop and a dump too deep for the default depth."""
    home = root / "home"
    games = home / "Games"
    copy_dump(h.sample_dump(other_build=True), games / "Old" / "CUSA00000")     # depth 3, 01.00
    copy_dump(h.sample_dump(), games / "Veltrane" / "CUSA00000")               # depth 3, 01.01
    foreign = copy_dump(h.sample_dump(), games / "Other" / "CUSA11111")
    sfo = foreign / "sce_sys" / "param.sfo"
    sfo.write_bytes(sfo.read_bytes().replace(b"CUSA00000", b"CUSA11111"))
    copy_dump(h.sample_dump(), home / "a" / "b" / "c" / "d" / "e" / "f" / "CUSA00000")  # depth 7
    h.make_dump(home / "unused", "--sound-modules", str(home / "emu" / "user" / "sys_modules"))
    shutil.rmtree(home / "unused")
    half = home / "emu" / "only_one"
    half.mkdir(parents=True)
    (half / "libSceNgs2.sprx").write_bytes(b"x")
    saves = home / ".local" / "share" / "shadPS4" / "savedata" / "1" / "CUSA00000"
    saves.mkdir(parents=True)
    (saves / "SAVEDATA00").write_bytes(b"save")
    (home / ".local" / "share" / "shadPS4" / "savedata" / "1" / "CUSA99999").mkdir()
    (home / "Backups" / "savedata" / "CUSA00000").mkdir(parents=True)  # empty: no save
    (games / "loop").symlink_to(games)
    return home


class ScanTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = Path(tempfile.mkdtemp(prefix="quor-scan-"))
        cls.home = make_home(cls.tmp)
        cls.emu = cls.home / ".local" / "share" / "shadPS4"

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def setUp(self):
        self.saved_home = os.environ.get("HOME")
        self.saved_drives = d.local_drives
        os.environ["HOME"] = str(self.home)
        d.local_drives = lambda: []

    def tearDown(self):
        if self.saved_home is None:
            os.environ.pop("HOME", None)
        else:
            os.environ["HOME"] = self.saved_home
        d.local_drives = self.saved_drives

    def test_finds_dumps_modules_and_saves(self):
        found = d.scan(seconds=20.0, depth=5, extra_roots=[str(self.emu)])
        games = [g["path"] for g in found["games"]]
        # The supported build first, the old one after it; the foreign title
        # and the dump below depth 5 are not there; the loop adds no copies.
        self.assertEqual(games, [str(self.home / "Games" / "Veltrane" / "CUSA00000"),
                                 str(self.home / "Games" / "Old" / "CUSA00000")])
        self.assertEqual(found["games"][0]["app_ver"], "01.01")
        self.assertEqual(found["sys_modules"], [str(self.home / "emu" / "user" / "sys_modules")])
        self.assertEqual(found["saves"], [str(self.emu / "savedata" / "1" / "CUSA00000")])
        self.assertFalse(found["timed_out"])

    def test_hidden_folders_are_searched_only_as_roots(self):
        found = d.scan(seconds=20.0, depth=5, extra_roots=[])
        self.assertEqual(found["saves"], [])

    def test_depth_is_honoured(self):
        self.assertEqual(d.scan(seconds=20.0, depth=2, extra_roots=[])["games"], [])
        deep = d.scan(seconds=20.0, depth=7, extra_roots=[])
        self.assertIn(str(self.home / "a" / "b" / "c" / "d" / "e" / "f" / "CUSA00000"),
                      [g["path"] for g in deep["games"]])
        # A root given again below home gets its own depth budget.
        nested = d.scan(seconds=20.0, depth=2, extra_roots=[str(self.home / "a" / "b" / "c" / "d" / "e")])
        self.assertEqual(len(nested["games"]), 1)

    def test_time_limit_is_honoured(self):
        started = time.monotonic()
        found = d.scan(seconds=0.0, depth=50, extra_roots=[])
        self.assertTrue(found["timed_out"])
        self.assertLess(found["folders"], 3)
        self.assertLess(time.monotonic() - started, 2.0)

    def test_local_drives_is_looked_up_at_call_time(self):
        d.local_drives = lambda: [str(self.emu)]
        found = d.scan(seconds=20.0, depth=5, extra_roots=[])
        self.assertEqual(len(found["saves"]), 1)

    def test_missing_and_bad_roots_are_skipped(self):
        found = d.scan(seconds=20.0, depth=5,
                       extra_roots=[str(self.tmp / "nope"), str(self.home / "Games" / "Old" / "CUSA00000" / "eboot.bin"), ""])
        self.assertEqual(len(found["games"]), 2)

    def test_default_local_drives_lists_mounted_folders(self):
        drives = self.saved_drives()
        self.assertIsInstance(drives, list)
        for root in drives:
            self.assertTrue(os.path.isabs(root), root)
            self.assertNotIn(root, ("/", "/proc", "/sys", "/dev"))


class UnreadableFolderTest(unittest.TestCase):
    """A folder the player cannot read is skipped; the search goes on.
    As root every folder is readable, so the search then runs as nobody."""

    def test_unreadable_folder_is_skipped(self):
        tmp = Path(tempfile.mkdtemp(prefix="quor-locked-"))
        try:
            tmp.chmod(0o755)
            home = tmp / "home"
            copy_dump(h.sample_dump(), home / "Open" / "CUSA00000")
            copy_dump(h.sample_dump(), home / "Locked" / "Inner" / "CUSA00000")
            (home / "Locked").chmod(0)
            code = ("import sys; sys.path.insert(0, sys.argv[1]); import quor_discovery as d\n"
                    "d.local_drives = lambda: []\n"
                    "f = d.scan(seconds=20.0, depth=5, extra_roots=[])\n"
                    "print('\\n'.join(g['path'] for g in f['games']))\n")
            python, extra = sys.executable, {}
            if os.geteuid() == 0:
                # The interpreter running the tests may live in root's home,
                # out of nobody's reach; the system one does not.
                python, extra = shutil.which("python3", path="/usr/bin:/bin"), {"user": 65534, "group": 65534}
                if python is None:
                    self.skipTest("no system python3 to run as an unprivileged user")
            run = subprocess.run([python, "-I", "-c", code, str(h.LAUNCHER)], capture_output=True,
                                 text=True, timeout=60, env=dict(os.environ, HOME=str(home)), **extra)
            self.assertEqual(run.returncode, 0, run.stderr)
            self.assertEqual(run.stdout.split(), [str(home / "Open" / "CUSA00000")])
        finally:
            (tmp / "home" / "Locked").chmod(0o755)
            shutil.rmtree(tmp, ignore_errors=True)


class DlcTest(unittest.TestCase):
    def setUp(self):
        self.tmp = Path(tempfile.mkdtemp(prefix="quor-dlc-"))
        self.game = self.tmp / "Games" / "Veltrane"
        self.game.mkdir(parents=True)
        self.saved_home = os.environ.get("HOME")
        os.environ["HOME"] = str(self.tmp / "home")

    def tearDown(self):
        os.environ["HOME"] = self.saved_home
        shutil.rmtree(self.tmp, ignore_errors=True)

    def add_dlc(self, folder, name="VELTRANEDLC00001"):
        sfo = folder / name / "sce_sys" / "param.sfo"
        sfo.parent.mkdir(parents=True)
        sfo.write_bytes(b"\x00PSF")
        return folder

    def test_sibling_named_after_the_dump(self):
        self.assertIsNone(d.find_dlc_root(str(self.game)))
        (self.tmp / "Games" / "Veltrane-DLC").mkdir()  # empty: not a DLC folder
        self.assertIsNone(d.find_dlc_root(str(self.game)))
        self.add_dlc(self.tmp / "Games" / "Veltrane-DLC")
        self.assertEqual(d.find_dlc_root(str(self.game)), str(self.tmp / "Games" / "Veltrane-DLC"))

    def test_addcont_layout_and_the_emulator_folder(self):
        emulator = self.add_dlc(self.tmp / "home" / ".local" / "share" / "shadPS4" / "addcont" / "CUSA00000").parent
        self.assertEqual(d.find_dlc_root(str(self.game)), str(emulator))
        beside = self.add_dlc(self.tmp / "Games" / "addcont" / "CUSA00000").parent
        self.assertEqual(d.find_dlc_root(str(self.game)), str(beside))

    def test_folder_without_param_sfo_is_not_an_addon(self):
        (self.tmp / "Games" / "CUSA00000-DLC" / "VELTRANEDLC00001" / "sce_sys").mkdir(parents=True)
        self.assertIsNone(d.find_dlc_root(str(self.game)))

    def test_tool_made_dlc_is_found(self):
        h.make_dump(self.tmp / "Games" / "CUSA00000", "--dlc", "2")
        self.assertEqual(d.find_dlc_root(str(self.tmp / "Games" / "CUSA00000")),
                         str(self.tmp / "Games" / "CUSA00000-DLC"))

    def test_empty_or_odd_paths(self):
        self.assertIsNone(d.find_dlc_root(""))
        self.assertIsNone(d.find_dlc_root(None))
        self.assertIsNone(d.find_dlc_root("/"))


class PsfTest(unittest.TestCase):
    def test_sample_metadata(self):
        info = d.read_psf(h.sample_dump() / "sce_sys" / "param.sfo")
        self.assertEqual((info["TITLE_ID"], info["APP_VER"], info["TITLE"], info["CATEGORY"]),
                         ("CUSA00000", "01.01", "Veltrane", "gd"))
        self.assertEqual(info["PARENTAL_LEVEL"], "5")

    def test_layout_of_the_sample_file(self):
        data = (h.sample_dump() / "sce_sys" / "param.sfo").read_bytes()
        magic, version, key_start, data_start, count = struct.unpack_from("<4sIIII", data)
        self.assertEqual((magic, version), (b"\x00PSF", 0x0101))
        self.assertEqual(key_start, 20 + 16 * count)
        formats = {struct.unpack_from("<H", data, 20 + 16 * i + 2)[0] for i in range(count)}
        self.assertEqual(formats, {0x0204, 0x0404})

    def test_every_truncation_and_corruption_is_survived(self):
        data = (h.sample_dump() / "sce_sys" / "param.sfo").read_bytes()
        for n in range(len(data) + 1):
            d.parse_psf(data[:n])
        for i in range(len(data)):
            for value in (0x00, 0xFF):
                broken = bytearray(data)
                broken[i] = value
                d.parse_psf(bytes(broken))
        self.assertEqual(d.parse_psf(data[:19]), {})

    def test_entry_past_the_end_is_skipped_but_the_rest_is_read(self):
        data = bytearray((h.sample_dump() / "sce_sys" / "param.sfo").read_bytes())
        struct.pack_into("<I", data, 20 + 4, 1 << 30)  # first entry's data_len
        info = d.parse_psf(bytes(data))
        self.assertNotIn("APP_TYPE", info)
        self.assertEqual(info["TITLE_ID"], "CUSA00000")


class DiscoveryScriptTest(unittest.TestCase):
    """The launcher's fifteen-line search script, run exactly as it runs it."""

    def test_tagged_lines(self):
        tmp = Path(tempfile.mkdtemp(prefix="quor-script-"))
        try:
            home = tmp / "home"
            game = home / "Games" / "CUSA00000"
            h.make_dump(game, "--dlc", "1", "--sound-modules", str(home / "Games" / "sys_modules"))
            saves = home / ".local" / "share" / "shadPS4" / "savedata" / "1" / "CUSA00000"
            saves.mkdir(parents=True)
            (saves / "SAVEDATA00").write_bytes(b"save")
            run = h.run_discovery_script(home)
            self.assertEqual(run.returncode, 0, run.stderr)
            lines = h.tagged_lines(run.stdout)
            self.assertEqual(lines[0], ("GAME", str(game)))
            self.assertIn(("SYS", str(home / "Games" / "sys_modules")), lines)
            self.assertIn(("SAVE", str(saves)), lines)
            self.assertEqual([v for t, v in lines if t == "DLC"], [str(home / "Games" / "CUSA00000-DLC")])
            self.assertEqual({t for t, _ in lines}, {"GAME", "SYS", "SAVE", "DLC"})
        finally:
            shutil.rmtree(tmp, ignore_errors=True)

    def test_empty_home_reports_nothing(self):
        tmp = Path(tempfile.mkdtemp(prefix="quor-script-"))
        try:
            run = h.run_discovery_script(tmp)
            self.assertEqual(run.returncode, 0, run.stderr)
            self.assertEqual([t for t, _ in h.tagged_lines(run.stdout) if t in ("GAME", "SYS", "DLC")], [])
        finally:
            shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    unittest.main()
