#!/usr/bin/env python3
"""Samples a running saver for tools/measure-saver.sh, and reports.

  saver_meter.py sample PID TRACE SECONDS XVFB_PID SERVER_PID   one JSON line
  saver_meter.py report NAME RESULTS [NAME RESULTS ...]          the figures

Every 100 ms it reads the wakeups (context switches of all the saver's
threads) and the CPU time of the saver, and files the stretch under the
phase the saver's timers show in TRACE, Wine's relay trace of SetTimer and
KillTimer with timestamps: walking while the walk timer runs, talking while
the mouth's runs, standing otherwise. Only the program's own calls are in
the trace, so any build can be measured, today's and older ones alike.
"""
import glob
import json
import re
import sys
import time

WALK_TIMER = 101      # IDT_WALK
MOUTH_TIMER = 10      # IDT_EXPRESSION
INTERVAL = 0.1
PHASES = ("walking", "talking", "standing")
CALL = re.compile(r"^\s*(\d+)\.(\d+):[0-9a-f]+:Call user32\.(SetTimer|KillTimer)\([0-9a-f]+,([0-9a-f]+)")


def wakeups(pid):
    total = 0
    for path in glob.glob(f"/proc/{pid}/task/*/status"):
        try:
            with open(path) as status:
                for line in status:
                    if line.startswith(("voluntary_ctxt_switches:", "nonvoluntary_ctxt_switches:")):
                        total += int(line.split()[1])
        except OSError:
            pass    # a thread that has just ended
    return total


def cpu_ticks(pid):
    try:
        with open(f"/proc/{pid}/stat") as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
        return int(fields[11]) + int(fields[12])    # utime + stime
    except (OSError, IndexError, ValueError):
        return 0


def status_kb(pid, key):
    try:
        with open(f"/proc/{pid}/status") as status:
            for line in status:
                if line.startswith(key + ":"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


class Trace:
    """The timer calls read so far, and which timers run at a moment."""

    def __init__(self, path):
        self.file = open(path, errors="replace")
        self.pending = ""
        self.events = []
        self.armed = set()

    def read(self):
        self.pending += self.file.read()
        lines = self.pending.split("\n")
        self.pending = lines.pop()
        for line in lines:
            match = CALL.match(line)
            if match:
                ms = int(match.group(1)) * 1000 + int(match.group(2))
                self.events.append((ms, match.group(3) == "SetTimer", int(match.group(4), 16)))

    def phase_at(self, ms):
        while self.events and self.events[0][0] <= ms:
            _, setting, timer = self.events.pop(0)
            if setting:
                self.armed.add(timer)
            else:
                self.armed.discard(timer)
        if WALK_TIMER in self.armed:
            return "walking"
        if MOUTH_TIMER in self.armed:
            return "talking"
        return "standing"


def sample(pid, trace_path, seconds, xvfb, server):
    trace = Trace(trace_path)
    figures = {phase: {"seconds": 0.0, "wakeups": 0, "ticks": 0} for phase in PHASES}
    peak = 0
    start = time.clock_gettime(time.CLOCK_MONOTONIC)
    xvfb0, server0 = cpu_ticks(xvfb), cpu_ticks(server)
    woke, used, before = wakeups(pid), cpu_ticks(pid), start
    while before - start < seconds:
        time.sleep(INTERVAL)
        now = time.clock_gettime(time.CLOCK_MONOTONIC)
        woke_now, used_now = wakeups(pid), cpu_ticks(pid)
        trace.read()
        # Wine stamps its trace with the same monotonic clock, in milliseconds.
        phase = figures[trace.phase_at((before + now) * 500)]
        phase["seconds"] += now - before
        phase["wakeups"] += max(0, woke_now - woke)
        phase["ticks"] += max(0, used_now - used)
        peak = max(peak, status_kb(pid, "VmRSS"))
        woke, used, before = woke_now, used_now, now
    print(json.dumps({"phases": figures, "xvfb": cpu_ticks(xvfb) - xvfb0, "server": cpu_ticks(server) - server0,
                      "rss": peak, "hwm": status_kb(pid, "VmHWM")}))


def report(pairs):
    tick = 100.0    # USER_HZ, as /proc counts
    totals = {}
    for name, path in pairs:
        with open(path) as results:
            runs = [json.loads(line) for line in results if line.strip()]
        wall = sum(p["seconds"] for run in runs for p in run["phases"].values())
        if not runs or wall <= 0:
            print(f"{name}: nothing measured")
            continue
        phase = {key: {k: sum(run["phases"][key][k] for run in runs) for k in ("seconds", "wakeups", "ticks")}
                 for key in PHASES}
        woke = sum(p["wakeups"] for p in phase.values())
        used = sum(p["ticks"] for p in phase.values()) / tick
        totals[name] = (woke / wall, used / wall)
        print(f"{name}")
        print(f"  wall time    {wall:.1f} s in {len(runs)} run(s)")
        print(f"  CPU share    {100 * used / wall:.3f} % of one core (target 0.5 %)")
        print(f"  wakeups      {woke / wall:.0f} a second in all")
        for key in PHASES:
            p = phase[key]
            if p["seconds"] > 0:
                print(f"    {key:<10} {p['wakeups'] / p['seconds']:6.0f} a second, CPU {100 * p['ticks'] / tick / p['seconds']:.3f} %,"
                      f" {100 * p['seconds'] / wall:.0f} % of the time")
        xvfb = sum(run["xvfb"] for run in runs) / tick
        server = sum(run["server"] for run in runs) / tick
        print(f"  besides      Xvfb {100 * xvfb / wall:.3f} %, wineserver {100 * server / wall:.3f} % of one core")
        print(f"  resident     {max(run['rss'] for run in runs) / 1024:.1f} MB at most while measured,"
              f" {max(run['hwm'] for run in runs) / 1024:.1f} MB peak (target 30 MB)")
    if len(totals) == 2:
        (first, (w0, c0)), (second, (w1, c1)) = totals.items()
        if w0 > 0 and c0 > 0:
            print(f"{second} against {first}: wakeups x {w1 / w0:.2f}, CPU x {c1 / c0:.2f}")


def main(argv):
    if len(argv) == 6 and argv[0] == "sample":
        sample(int(argv[1]), argv[2], float(argv[3]), int(argv[4]), int(argv[5]))
    elif len(argv) >= 3 and argv[0] == "report" and len(argv) % 2 == 1:
        report(list(zip(argv[1::2], argv[2::2])))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
