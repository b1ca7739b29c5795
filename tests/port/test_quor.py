"""The stand-in starter run as a real process, the way the launcher runs it."""

import os
import queue
import shutil
import signal
import subprocess
import tempfile
import threading
import time
import unittest
from pathlib import Path

import port_helpers as h

MARKER = "Entering original x86-64 code"


class Game:
    """A running quor.py with its output collected line by line."""

    def __init__(self, data_dir, **env):
        full = {k: v for k, v in os.environ.items() if not k.startswith(("QUOR_", "ORN_"))}
        full.update(PYTHONUNBUFFERED="1", PYTHONIOENCODING="utf-8", ORN_CONFIG=str(data_dir / "quor.ini"))
        full.update(env)
        self.proc = subprocess.Popen(["python3", str(h.QUOR_PY), "--from-test", "x=1"], cwd=data_dir, env=full,
                                     stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.lines = []
        self._queue = queue.Queue()
        threading.Thread(target=self._pump, daemon=True).start()

    def _pump(self):
        for raw in self.proc.stdout:
            self._queue.put(raw.decode("utf-8", "replace").rstrip("\n"))
        self._queue.put(None)

    def wait_for(self, text, timeout=10.0):
        """Collects output until a line holds `text`; True when one did."""
        if any(text in line for line in self.lines):
            return True
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            try:
                line = self._queue.get(timeout=0.05)
            except queue.Empty:
                continue
            if line is None:
                self._queue.put(None)  # keep reporting the end
                return False
            self.lines.append(line)
            if text in line:
                return True
        return False

    def finish(self, timeout=10.0):
        """Waits for the exit; returns the exit status (negative: signal)."""
        code = self.proc.wait(timeout=timeout)
        self.wait_for("\0never\0", timeout=2.0)  # drain what is left
        return code

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


class QuorTest(unittest.TestCase):
    def setUp(self):
        self.data = Path(tempfile.mkdtemp(prefix="quor-data-"))
        self.games = []

    def tearDown(self):
        for g in self.games:
            g.kill()
            g.proc.stdout.close()
        shutil.rmtree(self.data, ignore_errors=True)

    def start(self, **env):
        g = Game(self.data, **env)
        self.games.append(g)
        return g

    def test_start_up_log_bindings_and_sigterm(self):
        (self.data / "quor.ini").write_text(
            "[game]\nkey.move_down=Q\n"              # the game's own line, not a binding
            "# key bindings (launcher)\n"
            "key.move_up=Up\nkey.cross=\nkey.look_left=Keypad 4\r\n")
        g = self.start(QUOR_GAME_DIR=str(h.sample_dump()), QUOR_MODES="af16,fps60", ORN_FULLSCREEN="1")
        self.assertTrue(g.wait_for(MARKER), g.lines)
        text = "\n".join(g.lines)
        self.assertIn("['--from-test', 'x=1']", text)
        self.assertIn(f"working directory: {self.data}", text)
        self.assertIn("ORN_FULLSCREEN=1", text)
        self.assertIn("QUOR_MODES=af16,fps60", text)
        self.assertIn("CUSA00000 01.01 EU", text)  # the dump's executable was recognised
        bindings = {line.split()[0]: line for line in g.lines if line.startswith("    ") and "(" in line}
        self.assertRegex(bindings["move_up"], r"move_up\s+Up\s+\(launcher\)")
        self.assertRegex(bindings["move_down"], r"move_down\s+S\s+\(default\)")
        self.assertRegex(bindings["cross"], r"cross\s+-\s+\(unbound\)")
        self.assertRegex(bindings["look_left"], r"look_left\s+Keypad 4\s+\(launcher\)")
        self.assertEqual(len(bindings), 25)
        # The marker comes after the whole start-up log.
        marker_at = next(i for i, l in enumerate(g.lines) if MARKER in l)
        self.assertGreater(marker_at, max(g.lines.index(l) for l in bindings.values()))
        g.proc.send_signal(signal.SIGTERM)
        self.assertEqual(g.finish(), 0)

    def test_missing_config_and_dump_still_run(self):
        g = self.start(QUOR_GAME_DIR=str(self.data / "nowhere"))
        self.assertTrue(g.wait_for(MARKER), g.lines)
        self.assertTrue(any("default key bindings" in l for l in g.lines))
        g.proc.send_signal(signal.SIGINT)
        self.assertEqual(g.finish(), 0)

    def test_status_and_fps_lines(self):
        g = self.start(QUOR_DEMO_INTERVAL="0.1", QUOR_FPS="1")
        self.assertTrue(g.wait_for("running"), g.lines)
        self.assertTrue(g.wait_for("FPS 30.0", timeout=8.0), g.lines[-5:])
        g.proc.send_signal(signal.SIGTERM)
        self.assertEqual(g.finish(), 0)

    def test_exit_status_before_and_after_the_marker(self):
        g = self.start(QUOR_DEMO_EXIT="3")
        self.assertEqual(g.finish(), 3)
        self.assertFalse(any(MARKER in l for l in g.lines))
        self.assertTrue(any("key bindings" in l for l in g.lines))
        g = self.start(QUOR_DEMO_EXIT="5", QUOR_DEMO_WHEN="marker")
        self.assertEqual(g.finish(), 5)
        self.assertTrue(any(MARKER in l for l in g.lines))
        g = self.start(QUOR_DEMO_EXIT="0", QUOR_DEMO_WHEN="0.3")
        self.assertTrue(g.wait_for(MARKER))
        self.assertEqual(g.finish(), 0)

    def test_dies_of_a_signal(self):
        g = self.start(QUOR_DEMO_SIGNAL="SEGV")
        self.assertEqual(g.finish(), -signal.SIGSEGV)
        g = self.start(QUOR_DEMO_SIGNAL=str(int(signal.SIGABRT)), QUOR_DEMO_WHEN="marker", QUOR_DEMO_EXIT="4")
        self.assertEqual(g.finish(), -signal.SIGABRT)
        self.assertTrue(any(MARKER in l for l in g.lines))
        self.assertEqual(sorted(p.name for p in self.data.iterdir()), [])  # no core file left behind

    def test_sigterm_can_be_ignored(self):
        g = self.start(QUOR_DEMO_IGNORE_TERM="1")
        self.assertTrue(g.wait_for(MARKER))
        g.proc.send_signal(signal.SIGTERM)
        self.assertTrue(g.wait_for("ignored"), g.lines[-3:])
        time.sleep(0.3)
        self.assertIsNone(g.proc.poll())
        g.proc.send_signal(signal.SIGKILL)
        self.assertEqual(g.finish(), -signal.SIGKILL)

    def test_marker_can_be_skipped(self):
        g = self.start(QUOR_DEMO_NO_MARKER="1", QUOR_DEMO_INTERVAL="0.1")
        self.assertTrue(g.wait_for("running"), g.lines)
        self.assertFalse(any(MARKER in l for l in g.lines))
        g.proc.send_signal(signal.SIGTERM)
        self.assertEqual(g.finish(), 0)

    def test_exact_line_and_byte_counts(self):
        run = subprocess.run(["python3", str(h.QUOR_PY)], cwd=self.data, capture_output=True, timeout=30,
                             env=dict(os.environ, QUOR_DEMO_LINES="7000", QUOR_DEMO_EXIT="2"))
        lines = run.stdout.split(b"\n")
        self.assertEqual((run.returncode, len(lines), lines[-1]), (2, 7001, b""))
        self.assertEqual((lines[0], lines[6999]), (b"line 1 of 7000", b"line 7000 of 7000"))
        run = subprocess.run(["python3", str(h.QUOR_PY)], cwd=self.data, capture_output=True, timeout=30,
                             env=dict(os.environ, QUOR_DEMO_BYTES="100000"))
        self.assertEqual((run.returncode, len(run.stdout)), (0, 100000))
        self.assertNotIn(b"\n", run.stdout)
        self.assertNotIn(b"\r", run.stdout)

    def test_bad_knob_values_are_reported_and_ignored(self):
        g = self.start(QUOR_DEMO_EXIT="many", QUOR_DEMO_SIGNAL="NOPE", QUOR_DEMO_INTERVAL="-1")
        self.assertTrue(g.wait_for(MARKER), g.lines)
        self.assertEqual(sum("ignoring QUOR_DEMO_" in l for l in g.lines), 3)
        g.proc.send_signal(signal.SIGTERM)
        self.assertEqual(g.finish(), 0)


if __name__ == "__main__":
    unittest.main()
