"""Finds the player's files on this PC: the game dump, the console's sound
modules, saves made by the shadPS4 emulator, and the DLC folder.

scan(seconds, depth, extra_roots) walks the home folder, each extra root and
every local drive (local_drives(), looked up at call time so a caller may
replace it) together, level by level, and returns

    {"games": [{"path", "title_id", "app_ver", "title"}, ...],
     "sys_modules": [folder, ...],
     "saves": [folder, ...],
     "timed_out": bool, "folders": number of folders read}

  games        folders holding a regular file eboot.bin and a
               sce_sys/param.sfo whose TITLE_ID is CUSA00000; the supported
               version (APP_VER 01.01) comes first, otherwise shallow before
               deep. A game folder is not searched further.
  sys_modules  folders holding both libSceNgs2.sprx and libSceUlt.sprx
  saves        non-empty folders named CUSA00000 somewhere below a folder
               named "savedata" (any case), as shadPS4 keeps them
               (savedata/1/CUSA00000 or savedata/CUSA00000)

Bounds: each root is searched `depth` folder levels deep (0 = the root
only); the whole search stops after `seconds` and returns what it found so
far with "timed_out" set. Unreadable folders are skipped, symbolic links are
followed but every folder is read once (so link loops end), and hidden
folders below a root are not entered (the emulator's own hidden folders are
handed over as extra roots). Paths that cannot be written as one line of
UTF-8 (a line feed in a name, undecodable bytes) are left out, because the
caller reads the results back as text lines.

find_dlc_root(game_path) names the DLC folder of a dump, trying in order:
    <parent>/<dump folder name>-DLC      (e.g. CUSA00000-DLC beside CUSA00000)
    <parent>/CUSA00000-DLC
    <parent>/addcont
    ~/.local/share/shadPS4/addcont, and the same inside shadPS4's Flatpak
A candidate counts when it holds at least one add-on: a folder with a
sce_sys/param.sfo, directly or inside a CUSA00000 subfolder (the emulator's
addcont layout). Returns the folder as text, or None.
"""

import os
import re
import stat
import struct
import time
from collections import deque
from pathlib import Path

GAME_ID = "CUSA00000"
SUPPORTED_VERSION = "01.01"
SOUND_MODULES = ("libSceNgs2.sprx", "libSceUlt.sprx")
FLATPAK_IDS = ("net.shadps4.shadPS4",)
PSF_MAGIC = b"\x00PSF"
PSF_READ_LIMIT = 1 << 20  # real param.sfo files are a few KiB

# File systems that hold user data; pseudo and network file systems are left out.
DRIVE_FILESYSTEMS = {"ext2", "ext3", "ext4", "btrfs", "xfs", "f2fs", "vfat", "exfat",
                     "ntfs", "ntfs3", "fuseblk", "hfsplus", "jfs", "reiserfs", "zfs"}
# Mount points that belong to the system, not to the player's drives.
SYSTEM_MOUNTS = ("/boot", "/efi", "/proc", "/sys", "/dev", "/var", "/usr", "/snap",
                 "/tmp", "/etc", "/nix", "/opt", "/home", "/root", "/srv", "/gnu")


# --- param.sfo ----------------------------------------------------------------

def parse_psf(data):
    """Key -> value text of a PSF file. Never raises and never reads outside
    the buffer; entries that point outside it are skipped one by one."""
    out = {}
    n = len(data)
    if n < 20 or data[:4] != PSF_MAGIC:
        return out
    key_start, data_start, count = struct.unpack_from("<III", data, 8)
    for i in range(count):
        at = 20 + 16 * i
        if at + 16 > n:
            break
        key_off, fmt, length, _max_len, data_off = struct.unpack_from("<HHIII", data, at)
        k = (key_start + key_off) & 0xFFFFFFFF
        d = (data_start + data_off) & 0xFFFFFFFF
        if k >= n or d + length > n:
            continue
        key_end = data.find(b"\x00", k)
        key = data[k:n if key_end < 0 else key_end].decode("utf-8", "replace")
        if fmt == 0x0404:
            value = str(struct.unpack_from("<I", data, d)[0]) if d + 4 <= n else "0"
        else:
            raw = data[d:d + length]
            value = raw.split(b"\x00", 1)[0].decode("utf-8", "replace")
        out[key] = value
    return out


def read_psf(path):
    """parse_psf of a file; an unreadable file gives an empty mapping."""
    try:
        with open(path, "rb") as f:
            return parse_psf(f.read(PSF_READ_LIMIT))
    except OSError:
        return {}


# --- helpers --------------------------------------------------------------------

def _is_file(path):
    try:
        return stat.S_ISREG(os.stat(path).st_mode)
    except (OSError, ValueError):
        return False


def _is_dir(path):
    try:
        return stat.S_ISDIR(os.stat(path).st_mode)
    except (OSError, ValueError):
        return False


def _has_entries(path):
    try:
        with os.scandir(path) as it:
            return any(True for _ in it)
    except OSError:
        return False


def _reportable(path):
    """True when the path survives the trip through one line of UTF-8 text."""
    if "\n" in path or "\r" in path:
        return False
    try:
        path.encode("utf-8")
    except UnicodeEncodeError:
        return False
    return True


def _under_savedata(path):
    return any(part.lower() == "savedata" for part in Path(path).parts[:-1])


def _home():
    try:
        return Path.home()
    except (RuntimeError, KeyError):
        return None


def local_drives():
    """Mount points of the player's own drives (internal data partitions,
    USB disks, SD cards), from the kernel's mount table."""
    try:
        with open("/proc/self/mounts", encoding="utf-8", errors="surrogateescape") as f:
            lines = f.read().splitlines()
    except OSError:
        return []
    roots = set()
    for line in lines:
        parts = line.split()
        if len(parts) < 3 or parts[2] not in DRIVE_FILESYSTEMS:
            continue
        # Blanks and other odd characters are written as octal escapes.
        mount = re.sub(r"\\([0-7]{3})", lambda m: chr(int(m.group(1), 8)), parts[1])
        if mount == "/" or any(mount == s or mount.startswith(s + "/") for s in SYSTEM_MOUNTS):
            continue
        if mount.startswith("/run/") and not mount.startswith("/run/media/"):
            continue
        roots.add(mount)
    return sorted(roots)


# --- the search -----------------------------------------------------------------

def _classify(folder, names, found):
    """Records what `folder` is; returns True when it is a game dump (which
    is not searched any further)."""
    text = str(folder)
    if not _reportable(text):
        return False
    if "eboot.bin" in names and _is_file(folder / "eboot.bin") and _is_file(folder / "sce_sys" / "param.sfo"):
        info = read_psf(folder / "sce_sys" / "param.sfo")
        if info.get("TITLE_ID") == GAME_ID:
            found["games"].append({"path": text, "title_id": GAME_ID,
                                   "app_ver": info.get("APP_VER", ""), "title": info.get("TITLE", "")})
            return True
    if all(m in names for m in SOUND_MODULES) and all(_is_file(folder / m) for m in SOUND_MODULES):
        found["sys_modules"].append(text)
    if folder.name == GAME_ID and _under_savedata(folder) and _has_entries(folder):
        found["saves"].append(text)
    return False


def scan(seconds=20.0, depth=5, extra_roots=()):
    """Searches the PC within the given time and depth; see the module
    documentation for what is returned."""
    try:
        budget = max(0.0, float(seconds))
    except (TypeError, ValueError):
        budget = 0.0
    try:
        max_depth = max(0, int(depth))
    except (TypeError, ValueError):
        max_depth = 0
    deadline = time.monotonic() + budget
    found = {"games": [], "sys_modules": [], "saves": [], "timed_out": False, "folders": 0}

    roots = []
    home = _home()
    if home is not None:
        roots.append(home)
    roots += [Path(r) for r in (extra_roots or ()) if r]
    try:
        roots += [Path(r) for r in local_drives() if r]
    except Exception:  # a replacement that fails must not cost the whole search
        pass

    # One breadth-first queue over all roots, so that a large home folder
    # cannot use up the time before the shallow levels of the other roots
    # were looked at. (device, inode) -> levels still allowed when the folder
    # was last read: a folder is read again only when reached with more depth
    # left, which also ends symbolic-link loops.
    reached = {}
    games = set()
    queue = deque((root, max_depth) for root in roots)
    while queue:
        if time.monotonic() > deadline:
            found["timed_out"] = True
            break
        folder, left = queue.popleft()
        try:
            st = os.stat(folder)
        except (OSError, ValueError):
            continue
        if not stat.S_ISDIR(st.st_mode):
            continue
        key = (st.st_dev, st.st_ino)
        if key in games or reached.get(key, -1) >= left:
            continue
        first_visit = key not in reached
        reached[key] = left
        try:
            with os.scandir(folder) as it:
                entries = sorted(it, key=lambda e: e.name)
        except OSError:
            continue  # unreadable: skip it and carry on
        found["folders"] += 1
        if first_visit and _classify(folder, {e.name for e in entries}, found):
            games.add(key)
            continue
        if left == 0:
            continue
        for e in entries:
            if e.name.startswith("."):
                continue
            try:
                if e.is_dir():  # follows symbolic links
                    queue.append((folder / e.name, left - 1))
            except OSError:
                continue

    # The build the port supports first; otherwise keep the search order.
    found["games"].sort(key=lambda g: g["app_ver"] != SUPPORTED_VERSION)
    return found


# --- DLC --------------------------------------------------------------------

def _dlc_count(folder):
    base = folder / GAME_ID if _is_dir(folder / GAME_ID) else folder
    try:
        with os.scandir(base) as it:
            subs = [Path(e.path) for e in it]
    except OSError:
        return 0
    return sum(1 for s in subs if _is_dir(s) and _is_file(s / "sce_sys" / "param.sfo"))


def find_dlc_root(game_path):
    """The DLC folder belonging to the dump at game_path, or None."""
    if not game_path:
        return None
    try:
        game = Path(game_path)
        parent = game.parent
        candidates = [parent / (game.name + "-DLC"), parent / (GAME_ID + "-DLC"), parent / "addcont"]
    except (TypeError, ValueError):
        return None
    home = _home()
    if home is not None:
        candidates.append(home / ".local" / "share" / "shadPS4" / "addcont")
        candidates += [home / ".var" / "app" / app / "data" / "shadPS4" / "addcont" for app in FLATPAK_IDS]
    for c in candidates:
        if _is_dir(c) and _dlc_count(c) > 0 and _reportable(str(c)):
            return str(c)
    return None
