#!/usr/bin/env python3
"""Stand-in game for the throughput benchmark: writes its start time (ns,
wall clock) to ./bench_t0, then 200 MB of short lines to standard output in
large writes, and exits 0."""
import os
import time

TOTAL = 200 * 1024 * 1024
with open("bench_t0", "w") as f:
    f.write(str(time.time_ns()))
block = b"".join(b"[frame %08d] draw 16.6 ms, 412 calls, 0 warnings\n" % i for i in range(1300))
written = 0
while written < TOTAL:
    part = block[: TOTAL - written]
    view = memoryview(part)
    while view:
        n = os.write(1, view)
        view = view[n:]
    written += len(part)
