"""Shared pieces of the stand-in port's tests: where things are, the sample
dumps (made once per test run with the real tool), and the two scripts the
launcher hands to Python, written out exactly as it sends them."""

import atexit
import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
PORT = REPO / "demo-port"
SCRIPTS = PORT / "scripts"
LAUNCHER = PORT / "launcher"
QUOR_PY = PORT / "quor.py"
TOOLS = REPO / "tools"

for folder in (SCRIPTS, LAUNCHER):
    if str(folder) not in sys.path:
        sys.path.insert(0, str(folder))

CHECK_SCRIPT = (
    "import sys; sys.path.insert(0, sys.argv[1])\n"
    "from prepare import parse_self\n"
    "from quor_modes import is_supported\n"
    "try:\n"
    "    elf, _h, ph, _s, _m = parse_self(open(sys.argv[2], 'rb').read())\n"
    "except Exception:\n"
    "    print('UNREADABLE'); raise SystemExit\n"
    "print('SUPPORTED' if is_supported(elf, ph) else 'OTHER')\n"
)

DISCOVERY_SCRIPT = (
    "import sys, os\n"
    "from pathlib import Path\n"
    "sys.path.insert(0, sys.argv[1]); sys.path.insert(0, sys.argv[2])\n"
    "import quor_discovery as d\n"
    "d.local_drives = lambda: []\n"
    "h = Path.home(); user = os.environ.get('USER', '')\n"
    "roots = [h/'.local/share/shadPS4', h/'.var/app/net.shadps4.shadPS4/data/shadPS4',\n"
    "         h/'.config/shadPS4', Path('/run/media')/user, Path('/media')/user, Path('/mnt')]\n"
    "found = d.scan(seconds=20.0, depth=5, extra_roots=[str(r) for r in roots if r.is_dir()])\n"
    "for g in found['games']: print('GAME\\t' + str(g['path']))\n"
    "for m in found['sys_modules']: print('SYS\\t' + str(m))\n"
    "for s in found['saves']: print('SAVE\\t' + str(s))\n"
    "if found['games']:\n"
    "    dlc = d.find_dlc_root(str(found['games'][0]['path']))\n"
    "    if dlc: print('DLC\\t' + str(dlc))\n"
)

_session = None
_dumps = {}


def session_dir():
    """A temporary folder shared by the whole test run."""
    global _session
    if _session is None:
        _session = Path(tempfile.mkdtemp(prefix="quor-port-tests-"))
        atexit.register(shutil.rmtree, _session, True)
    return _session


def make_dump(dest, *options):
    """Runs the real sample-dump tool; returns its completed process."""
    return subprocess.run(["python3", str(TOOLS / "make-sample-dump"), str(dest), *options],
                          capture_output=True, text=True, timeout=120, check=True)


def sample_dump(other_build=False):
    """Path of a sample dump made once per run (supported or other build)."""
    key = "other" if other_build else "supported"
    if key not in _dumps:
        dest = session_dir() / key / "CUSA00000"
        make_dump(dest, *(["--other-build"] if other_build else []))
        _dumps[key] = dest
    return _dumps[key]


def run_check_script(executable):
    """The launcher's executable check, run as the launcher runs it."""
    return subprocess.run(["python3", "-I", "-c", CHECK_SCRIPT, str(SCRIPTS), str(executable)],
                          capture_output=True, text=True, timeout=60)


def run_discovery_script(home, user="player"):
    """The launcher's PC search, run as the launcher runs it, in a given home."""
    env = dict(os.environ, HOME=str(home), USER=user)
    return subprocess.run(["python3", "-I", "-c", DISCOVERY_SCRIPT, str(LAUNCHER), str(SCRIPTS)],
                          capture_output=True, text=True, timeout=120, env=env)


def tagged_lines(output):
    """(tag, value) pairs of the search protocol, as the launcher splits them."""
    out = []
    for line in output.split("\n"):
        if "\t" in line:
            tag, value = line.split("\t", 1)
            out.append((tag, value))
    return out
