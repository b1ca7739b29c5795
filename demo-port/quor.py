#!/usr/bin/env python3
"""Stand-in for the Veltrane port's starter.

It behaves like the real starter from the launcher's point of view: it is
run as `python3 /full/path/quor.py [args...]` with the data folder as its
working directory, prints a start-up log (its arguments, the QUOR_*/ORN_*
settings it received, the dump it was pointed at, the key bindings read from
the ini file named by ORN_CONFIG), then the line holding "Entering original
x86-64 code", and keeps running, printing a status line every few seconds
(and a frame-rate line every 5 s when QUOR_FPS is "1"), until SIGTERM or
SIGINT, after which it exits with status 0.

Knobs of its own, so that the launcher's supervision can be exercised
against a real process (all optional):

  QUOR_DEMO_EXIT=N         exit with status N (0..255) at the moment chosen
                           by QUOR_DEMO_WHEN
  QUOR_DEMO_SIGNAL=SIG     die of signal SIG (a number, or a name such as
                           SEGV or SIGSEGV) at that moment; wins over
                           QUOR_DEMO_EXIT
  QUOR_DEMO_WHEN=W         when EXIT/SIGNAL act: "start" (default: after the
                           start-up log, before the start marker), "marker"
                           (right after the marker line), or a number of
                           seconds after the marker (e.g. "2.5")
  QUOR_DEMO_IGNORE_TERM=1  ignore SIGTERM (a line reports each one), so only
                           SIGKILL ends the process
  QUOR_DEMO_LINES=N        print exactly N lines "line 1 of N" ... and
                           nothing else, then exit (status QUOR_DEMO_EXIT,
                           or 0)
  QUOR_DEMO_BYTES=N        write exactly N bytes of text without any line
                           end and nothing else, then exit (same status)
  QUOR_DEMO_INTERVAL=S     seconds between status lines (default 3)
  QUOR_DEMO_NO_MARKER=1    never print the start marker (the game seems to
                           stay "preparing")

A knob with an unusable value is reported in the log and ignored. Output is
flushed line by line, whatever the environment says about buffering.
"""

import os
import signal
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
START_MARKER = "Entering original x86-64 code"
INI_MARKER = "# key bindings (launcher)"
GAME_ID = "CUSA00000"

# The game's rebindable actions and their default keys (SDL scancode names).
KEY_DEFAULTS = (
    ("move_up", "W"), ("move_down", "S"), ("move_left", "A"), ("move_right", "D"),
    ("look_up", "Up"), ("look_down", "Down"), ("look_left", "Left"), ("look_right", "Right"),
    ("cross", "Space"), ("circle", "Left Shift"), ("square", "E"), ("triangle", "Q"),
    ("l1", "1"), ("r1", "3"), ("l2", "R"), ("r2", "F"), ("l3", "Z"), ("r3", "C"),
    ("options", "Return"), ("touchpad", "Tab"), ("touchpad_right", "Backspace"),
    ("up", "I"), ("down", "K"), ("left", "J"), ("right", "L"),
)

_term_count = 0  # SIGTERM/SIGINT seen; read by the main loop


def say(text=""):
    """One log line, flushed at once so the launcher sees it live."""
    sys.stdout.write(text + "\n")
    sys.stdout.flush()


def log(text):
    say(f"[quor] {text}")


# --- knobs --------------------------------------------------------------------

def knob_int(name, low=0, high=None):
    raw = os.environ.get(name, "")
    if raw == "":
        return None
    try:
        value = int(raw)
    except ValueError:
        log(f"ignoring {name}={raw!r}: not a whole number")
        return None
    if value < low or (high is not None and value > high):
        log(f"ignoring {name}={raw!r}: out of range")
        return None
    return value


def knob_float(name, default, low):
    raw = os.environ.get(name, "")
    if raw == "":
        return default
    try:
        value = float(raw)
    except ValueError:
        value = float("nan")
    if not value >= low:  # also rejects NaN
        log(f"ignoring {name}={raw!r}")
        return default
    return value


def knob_signal():
    raw = os.environ.get("QUOR_DEMO_SIGNAL", "").strip()
    if raw == "":
        return None
    if raw.isdigit():
        number = int(raw)
        if 0 < number < signal.NSIG:
            return number
    else:
        name = raw.upper()
        name = name if name.startswith("SIG") else "SIG" + name
        sig = getattr(signal, name, None)
        if isinstance(sig, signal.Signals):
            return int(sig)
    log(f"ignoring QUOR_DEMO_SIGNAL={raw!r}: unknown signal")
    return None


def knob_when():
    raw = os.environ.get("QUOR_DEMO_WHEN", "").strip() or "start"
    if raw in ("start", "marker"):
        return raw
    delay = knob_float("QUOR_DEMO_WHEN", None, 0.0)
    return "start" if delay is None else delay


def knob_on(name):
    return os.environ.get(name, "") == "1"


# --- endings -------------------------------------------------------------------

def die_of(sig):
    """Ends the process by the signal itself, as a crash would."""
    try:
        name = signal.Signals(sig).name
    except ValueError:
        name = "real-time signal"
    log(f"simulated failure: raising signal {sig} ({name})")
    try:
        import resource
        resource.setrlimit(resource.RLIMIT_CORE, (0, resource.getrlimit(resource.RLIMIT_CORE)[1]))
    except (ImportError, ValueError, OSError):
        pass  # a core file in the data folder would only be clutter
    try:
        signal.signal(sig, signal.SIG_DFL)
    except (OSError, ValueError):
        pass  # SIGKILL and SIGSTOP cannot be changed, nor need to be
    os.kill(os.getpid(), sig)
    time.sleep(0.5)
    # Still here: the signal's default action is to ignore it.
    log(f"signal {sig} did not end the process; exiting with {128 + sig}")
    os._exit(128 + sig)


def end_now(exit_status, sig):
    if sig is not None:
        die_of(sig)
    log(f"simulated exit with status {exit_status}")
    sys.exit(exit_status)


def on_terminate(signum, _frame):
    # Only count here: printing from a signal handler may collide with a
    # write in progress. The main loop reports and acts on it.
    global _term_count
    _term_count += 1


# --- bulk output modes -----------------------------------------------------------

def print_lines(count, status):
    out = sys.stdout
    for i in range(1, count + 1):
        out.write(f"line {i} of {count}\n")
        if i % 500 == 0:
            out.flush()
    out.flush()
    sys.exit(status)


def print_bytes(count, status):
    pattern = "0123456789abcdefghijklmnopqrstuvwxyz"
    left = count
    while left > 0:
        chunk = (pattern * (min(left, 65536) // len(pattern) + 1))[:min(left, 65536)]
        sys.stdout.write(chunk)
        left -= len(chunk)
    sys.stdout.flush()
    sys.exit(status)


# --- start-up log -----------------------------------------------------------------

def read_bindings(config):
    """Key bindings from the launcher's block of the game's ini file: action
    id -> (key, origin). Lines before the marker belong to the game itself."""
    bindings = {action: (key, "default") for action, key in KEY_DEFAULTS}
    if not config:
        log("ORN_CONFIG not set: default key bindings")
        return bindings
    try:
        with open(config, "rb") as f:
            lines = f.read().decode("utf-8", "replace").split("\n")
    except OSError as e:
        log(f"cannot read {config} ({e.strerror}): default key bindings")
        return bindings
    in_block = False
    for line in lines:
        line = line.rstrip("\r")
        if line == INI_MARKER:
            in_block = True
            continue
        if not in_block or not line.startswith("key.") or "=" not in line:
            continue
        action, key = line[4:].split("=", 1)
        if action in bindings:
            bindings[action] = (key, "launcher" if key else "unbound")
        else:
            log(f"unknown action in {config}: {action!r} (ignored)")
    log(f"config: {config}" + ("" if in_block else " (no launcher block)"))
    return bindings


def describe_dump(game_dir):
    """A line about the dump, using the port's own helpers when they load."""
    if not game_dir:
        log("QUOR_GAME_DIR is empty: no dump chosen (the stand-in carries on)")
        return
    eboot = Path(game_dir) / "eboot.bin"
    if not eboot.is_file():
        log(f"no eboot.bin in {game_dir} (the stand-in carries on)")
        return
    title = version = "?"
    build = "unchecked"
    try:
        sys.path[:0] = [str(HERE / "scripts"), str(HERE / "launcher")]
        from quor_discovery import read_psf
        from prepare import parse_self
        from quor_modes import identify
        info = read_psf(Path(game_dir) / "sce_sys" / "param.sfo")
        title, version = info.get("TITLE_ID", "?"), info.get("APP_VER", "?")
        elf, _h, ph, _s, _m = parse_self(eboot.read_bytes())
        build = identify(elf, ph) or "unknown build (modes off)"
    except Exception as e:  # a damaged dump is reported, not fatal to the stand-in
        build = f"unreadable ({e})"
    log(f"dump: {game_dir}: {title} {version}, executable: {build}")


def start_up_log(argv):
    log(f"Veltrane stand-in port, pid {os.getpid()}, python {sys.version.split()[0]}")
    log(f"arguments: {argv[1:]!r}")
    log(f"working directory: {os.getcwd()}")
    settings = sorted((k, v) for k, v in os.environ.items()
                      if (k.startswith("QUOR_") or k.startswith("ORN_")) and not k.startswith("QUOR_DEMO_"))
    log(f"settings received: {len(settings)}")
    for name, value in settings:
        say(f"    {name}={value}")
    demo = sorted((k, v) for k, v in os.environ.items() if k.startswith("QUOR_DEMO_"))
    for name, value in demo:
        log(f"demo knob {name}={value}")
    describe_dump(os.environ.get("QUOR_GAME_DIR", ""))
    bindings = read_bindings(os.environ.get("ORN_CONFIG", ""))
    log("key bindings:")
    for action, _default in KEY_DEFAULTS:
        key, origin = bindings[action]
        say(f"    {action:<15} {key or '-':<12} ({origin})")
    modes = [m for m in os.environ.get("QUOR_MODES", "").split(",") if m]
    log(f"modes: {', '.join(modes) if modes else 'none'}; output {os.environ.get('QUOR_OUTPUT_RES', '1920x1080')}")


# --- main ---------------------------------------------------------------------------

def main(argv):
    # Odd bytes in paths or settings must not stop the log.
    sys.stdout.reconfigure(errors="backslashreplace")
    status = knob_int("QUOR_DEMO_EXIT", 0, 255)
    sig = knob_signal()
    lines = knob_int("QUOR_DEMO_LINES", 0)
    count = knob_int("QUOR_DEMO_BYTES", 0)
    if lines is not None:
        print_lines(lines, status or 0)
    if count is not None:
        print_bytes(count, status or 0)

    ignore_term = knob_on("QUOR_DEMO_IGNORE_TERM")
    signal.signal(signal.SIGTERM, on_terminate)
    signal.signal(signal.SIGINT, on_terminate)

    when = knob_when()
    acts = status is not None or sig is not None
    interval = knob_float("QUOR_DEMO_INTERVAL", 3.0, 0.05)
    show_fps = os.environ.get("QUOR_FPS", "") == "1"
    fps = 60.0 if "fps60" in os.environ.get("QUOR_MODES", "").split(",") else 30.0

    start_up_log(argv)
    if acts and when == "start":
        end_now(status or 0, sig)
    if knob_on("QUOR_DEMO_NO_MARKER"):
        log("demo: start marker skipped")
    else:
        log(f"{START_MARKER} at 0x00400000")
    if acts and when == "marker":
        end_now(status or 0, sig)

    began = time.monotonic()
    next_status = began + interval
    next_fps = began + 5.0
    seen_terms = 0
    while True:
        time.sleep(0.05)
        now = time.monotonic()
        if _term_count > seen_terms:
            seen_terms = _term_count
            if not ignore_term:
                log("stop requested, shutting down")
                log("bye")
                return 0
            log("SIGTERM received and ignored (QUOR_DEMO_IGNORE_TERM)")
        if acts and isinstance(when, float) and now - began >= when:
            end_now(status or 0, sig)
        if now >= next_status:
            log(f"running {now - began:6.1f} s, frame {int((now - began) * fps)}")
            next_status += interval
        if show_fps and now >= next_fps:
            log(f"FPS {fps:.1f} ({1000.0 / fps:.1f} ms/frame)")
            next_fps += 5.0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except BrokenPipeError:
        # The reader went away; nothing left to tell anyone.
        os._exit(1)
