#!/usr/bin/env python3
"""CPU and peak memory of the snowfall under Wine, beside xsnow, in one run.

On one virtual X display (Xvfb, 1920 x 1080) with Wine's virtual desktop on it, each
subject runs in turn: wintrel.exe (the stage's production paths), wintrel-literal.exe (the
same program on the literal paths) and xsnow drawing snow only. Each is given a warm-up,
then its CPU time over the measured window is read from /proc: every process of the Wine
prefix (the program, wineserver, the desktop's explorer.exe and the other services) and
the X server, split by process, and the subject's peak resident memory (VmHWM). The idle
desktop is measured the same way first, for what the display costs with nothing on it.
With --calls (root, perf), uprobes count over the same window how often the subject
begins a paint, calls SetDIBitsToDevice and has Wine send its window to the X server,
and how often the desktop repaints; the probes are removed at the end. With --profile
(root, perf), each program is then sampled for a further window (perf record -g, 999 Hz,
over the program, wineserver, the desktop and the X server) and the samples are put in a
table by process and library, in per cent of one core. The program's
paint rate under Wine is its own (the literal build keeps up with fewer paints), so
CPU per paint is given beside CPU per second.
Prints a table (Markdown) and writes it with the raw figures to the output folder.
"""

from __future__ import annotations

import argparse
import contextlib
import json
import os
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
from wine_harness import Failure, Session, wait_for  # noqa: E402
from run_e2e import wait_overlay  # noqa: E402

TICKS = os.sysconf("SC_CLK_TCK")
WINE_UNIX = Path("/usr/lib/x86_64-linux-gnu/wine/x86_64-unix")
XEXT = Path("/usr/lib/x86_64-linux-gnu/libXext.so.6")
PROBES = [  # (library, function, what the count says)
    (WINE_UNIX / "win32u.so", "NtUserBeginPaint", "paints"),
    (WINE_UNIX / "win32u.so", "NtGdiSetDIBitsToDeviceInternal", "SetDIBitsToDevice calls"),
    (XEXT, "XShmPutImage", "window sent to the X server"),
]


class Probes:
    """perf uprobes on Wine's and Xlib's entry points, added for the run and removed after."""

    def __init__(self) -> None:
        self.events: list[tuple[str, str]] = []

    def __enter__(self) -> "Probes":
        for library, function, what in PROBES:
            result = subprocess.run(["perf", "probe", "-q", "-x", str(library.resolve()), "-a", function],
                                    capture_output=True, text=True)
            if result.returncode != 0:
                raise Failure(f"perf probe on {function}: {result.stderr.strip()}")
            group = "probe_" + library.resolve().name.split(".so")[0].replace("-", "_").replace(".", "_")
            self.events.append((f"{group}:{function}", what))
        return self

    def __exit__(self, *exc) -> None:
        for event, _ in self.events:
            subprocess.run(["perf", "probe", "-q", "-d", event], capture_output=True)

    def start(self, pids: list[int], seconds: float) -> subprocess.Popen:
        return subprocess.Popen(["perf", "stat", "-x,", "-e", ",".join(e for e, _ in self.events),
                                 "--per-thread", "-p", ",".join(map(str, pids)), "--", "sleep", str(seconds)],
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)

    def read(self, proc: subprocess.Popen, names: dict[int, str], seconds: float) -> dict[str, float]:
        """Counts per second by process name and what is counted."""
        _, err = proc.communicate(timeout=seconds + 60)
        out: dict[str, float] = {}
        labels = dict(self.events)
        for line in err.splitlines():
            parts = line.split(",")
            # --per-thread: comm-tid,count,unit,event,...
            if len(parts) < 4 or not parts[1].strip().isdigit():
                continue
            tid = parts[0].rsplit("-", 1)[-1]
            event = parts[3]
            who = names.get(int(tid), "other") if tid.isdigit() else "other"
            key = f"{who}: {labels.get(event, event)}"
            out[key] = out.get(key, 0.0) + int(parts[1]) / seconds
        return out
XSNOW = ["/usr/games/xsnow", "-noconfig", "-nomenu", "-above", "-nosanta", "-notrees",
         "-nometeors", "-moon", "0", "-aurora", "0", "-stars", "0", "-nowind"]


def cpu_seconds(pid: int) -> float:
    """utime + stime of a live process, in seconds (0 once it is gone)."""
    try:
        fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    except OSError:
        return 0.0
    return (int(fields[11]) + int(fields[12])) / TICKS


def peak_rss_mib(pid: int) -> float:
    try:
        for line in Path(f"/proc/{pid}/status").read_text().splitlines():
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024
    except OSError:
        pass
    return 0.0


def wine_processes(prefix: Path) -> dict[int, str]:
    """The live processes of the Wine prefix, by pid, with a name for the split."""
    found = {}
    want = f"WINEPREFIX={prefix}".encode()
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            environ = (entry / "environ").read_bytes()
            cmdline = (entry / "cmdline").read_bytes().replace(b"\0", b" ").decode(errors="replace")
        except OSError:
            continue
        if want not in environ.split(b"\0"):
            continue
        lower = cmdline.lower()
        if "wintrel-literal.exe" in lower:
            name = "wintrel-literal.exe"
        elif "wintrel.exe" in lower:
            name = "wintrel.exe"
        elif "wineserver" in lower:
            name = "wineserver"
        elif "explorer.exe" in lower:
            name = "explorer.exe (desktop)"
        else:
            name = "other Wine services"
        found[int(entry.name)] = name
    return found


class Meter:
    """CPU of a set of processes over a window: pids seen at the start or during it."""

    def __init__(self, session: Session, extra: dict[int, str]):
        self.session = session
        self.extra = extra
        self.start: dict[int, float] = {}
        self.last: dict[int, float] = {}
        self.names: dict[int, str] = {}

    def pids(self) -> dict[int, str]:
        pids = wine_processes(self.session.prefix)
        pids[self.session._xvfb.pid] = "Xvfb (X server)"
        pids.update(self.extra)
        return pids

    def begin(self) -> None:
        for pid, name in self.pids().items():
            self.names[pid] = name
            self.start[pid] = self.last[pid] = cpu_seconds(pid)

    def sample(self) -> None:
        for pid, name in self.pids().items():
            if pid not in self.start:  # started during the window: from 0
                self.names[pid] = name
                self.start[pid] = 0.0
            value = cpu_seconds(pid)
            if value > 0:
                self.last[pid] = value

    def split(self) -> dict[str, float]:
        out: dict[str, float] = {}
        for pid, name in self.names.items():
            out[name] = out.get(name, 0.0) + max(0.0, self.last[pid] - self.start[pid])
        return out


def measure(session: Session, seconds: float, extra: dict[int, str], peak_of: list[int],
            probes: "Probes | None" = None, probed: dict[int, str] | None = None) -> dict:
    meter = Meter(session, extra)
    counting = None
    if probes is not None and probed:
        threads = {}
        for pid, name in probed.items():
            for task in Path(f"/proc/{pid}/task").iterdir():
                threads[int(task.name)] = name
        counting = (probes.start(list(probed), seconds), threads)
    meter.begin()
    started = time.monotonic()
    peak = 0.0
    while time.monotonic() - started < seconds:
        time.sleep(1.0)  # the sampling period of /proc, not a wait for an outcome
        meter.sample()
        peak = max([peak] + [peak_rss_mib(pid) for pid in peak_of])
    elapsed = time.monotonic() - started
    split = meter.split()
    result = {"seconds": elapsed, "split": split, "total": sum(split.values()), "peak_mib": peak}
    if counting is not None:
        result["calls_per_s"] = probes.read(counting[0], counting[1], seconds)
    return result


PROFILE_HZ = 999


def profile(pids: dict[int, str], seconds: float, out: Path) -> dict[str, float]:
    """Per cent of one core by process and library (for the X server and the kernel, also
    by function where one stands out), from perf samples over `seconds`."""
    data = out.with_suffix(".data")
    record = subprocess.run(["perf", "record", "-q", "-F", str(PROFILE_HZ), "-g", "-o", str(data),
                             "-p", ",".join(map(str, pids)), "--", "sleep", str(seconds)],
                            capture_output=True, text=True)
    if record.returncode != 0:
        raise Failure(f"perf record: {record.stderr.strip()}")
    script = subprocess.run(["perf", "script", "-i", str(data), "-F", "pid,ip,sym,dso", "-G"],
                            capture_output=True, text=True)
    counts: dict[str, int] = {}
    for line in script.stdout.splitlines():
        parts = line.split(None, 1)
        if len(parts) < 2 or not parts[0].isdigit():
            continue
        who = pids.get(int(parts[0]), "other")
        rest = parts[1]
        dso = rest[rest.rfind("(") + 1:rest.rfind(")")] if rest.endswith(")") else "?"
        library = Path(dso).name or dso
        if library == "[unknown]" or (library.startswith("perf-") and library.endswith(".map")):
            library = "PE code of no named module (the program's own)"
        key = f"{who}: {library}"
        if who.startswith("Xvfb") and "fbBltOne" in rest:
            key = f"{who}: fbBltOne (1-bit blits)"
        counts[key] = counts.get(key, 0) + 1
    return {k: 100.0 * v / (PROFILE_HZ * seconds) for k, v in counts.items()}


def program_pid(session: Session, image: str) -> int:
    def find():
        for pid, name in wine_processes(session.prefix).items():
            if name == image:
                return pid
        return None
    return wait_for(f"the process of {image}", find, 30)


def run_wine(session: Session, exe: Path, warmup: float, seconds: float, probes: "Probes | None",
             profile_seconds: float = 0.0) -> dict:
    program = session.launch(exe)
    try:
        wait_overlay(session, program)
        pid = program_pid(session, exe.name)
        time.sleep(warmup)  # the warm-up before the measured window
        probed = {pid: "the program"}
        probed.update({p: n for p, n in wine_processes(session.prefix).items() if n.startswith("explorer")})
        result = measure(session, seconds, {}, [pid], probes, probed)
        if not program.running():
            raise Failure(f"{exe.name} ended during the measurement")
        if profile_seconds > 0:
            sampled = {p: n for p, n in wine_processes(session.prefix).items()
                       if n in (exe.name, "wineserver") or n.startswith("explorer")}
            sampled[session._xvfb.pid] = "Xvfb (X server)"
            session.out_dir.mkdir(parents=True, exist_ok=True)
            result["profile"] = profile(sampled, profile_seconds, session.out_dir / f"perf-{exe.stem}")
        session.key("Escape")
        result["exit_code"] = program.wait_exit(30)
        return result
    finally:
        program.kill()


def run_xsnow(session: Session, warmup: float, seconds: float) -> dict:
    proc = subprocess.Popen(XSNOW, env=session.env, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            start_new_session=True)
    try:
        time.sleep(warmup)  # the warm-up before the measured window
        if proc.poll() is not None:
            raise Failure(f"xsnow ended with exit code {proc.returncode}")
        result = measure(session, seconds, {proc.pid: "xsnow"}, [proc.pid])
        if proc.poll() is not None:
            raise Failure("xsnow ended during the measurement")
        return result
    finally:
        if proc.poll() is None:
            os.killpg(proc.pid, signal.SIGTERM)
            proc.wait(timeout=20)


def table(results: dict, seconds: float) -> str:
    subjects = [k for k in ("idle desktop", "wintrel.exe", "wintrel-literal.exe", "xsnow") if k in results]
    names = []
    for k in subjects:
        for name in results[k]["split"]:
            if name not in names:
                names.append(name)
    lines = ["| per cent of one core | " + " | ".join(subjects) + " |",
             "|---|" + "---|" * len(subjects)]

    def pct(r: dict, v: float) -> str:
        return f"{100.0 * v / r['seconds']:.1f}"
    for name in names:
        lines.append(f"| {name} | " + " | ".join(pct(results[k], results[k]["split"].get(name, 0.0)) for k in subjects) + " |")
    lines.append("| **all of it** | " + " | ".join(f"**{pct(results[k], results[k]['total'])}**" for k in subjects) + " |")
    lines.append("| peak resident memory of the subject (MiB) | " +
                 " | ".join("-" if k == "idle desktop" else f"{results[k]['peak_mib']:.1f}" for k in subjects) + " |")
    counted = [k for k in subjects if "calls_per_s" in results[k]]
    if counted:
        keys = []
        for k in counted:
            keys += [c for c in results[k]["calls_per_s"] if c not in keys]
        lines += ["", "| per second | " + " | ".join(counted) + " |", "|---|" + "---|" * len(counted)]
        for c in sorted(keys, key=lambda c: (not c.startswith("the program"), c)):
            lines.append(f"| {c} | " +
                         " | ".join(f"{results[k]['calls_per_s'].get(c, 0.0):.1f}" for k in counted) + " |")
        lines.append("| **CPU per paint, all of it (ms)** | " + " | ".join(
            f"**{1000 * results[k]['total'] / results[k]['seconds'] / max(1e-9, results[k]['calls_per_s'].get('the program: paints', 0.0)):.2f}**"
            for k in counted) + " |")
    profiled = [k for k in subjects if "profile" in results[k]]
    if profiled:
        def general(row: str) -> str:  # the program's own name, the same for every build
            return row.replace("wintrel-literal.exe", "the program").replace("wintrel.exe", "the program")
        rows: dict[str, dict[str, float]] = {}
        for k in profiled:
            for row, value in results[k]["profile"].items():
                rows.setdefault(general(row), {})[k] = rows.get(general(row), {}).get(k, 0.0) + value
        shown = sorted(rows, key=lambda r: -max(rows[r].values()))
        big = [r for r in shown if max(rows[r].values()) >= 1.0]
        lines += ["", "| profile, per cent of one core | " + " | ".join(profiled) + " |",
                  "|---|" + "---|" * len(profiled)]
        for r in big:
            lines.append(f"| {r} | " + " | ".join(f"{rows[r].get(k, 0.0):.1f}" for k in profiled) + " |")
        lines.append("| the rest (each below 1 %) | " + " | ".join(
            f"{sum(rows[r].get(k, 0.0) for r in shown if r not in big):.1f}" for k in profiled) + " |")
        lines.append("| **sampled in all** | " + " | ".join(
            f"**{sum(results[k]['profile'].values()):.1f}**" for k in profiled) + " |")
    return "\n".join(lines)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", type=Path, default=ROOT / "build" / "perf-win",
                        help="the Windows build folder (wintrel.exe, wintrel-literal.exe, wininfo.exe)")
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--warmup", type=float, default=10)
    parser.add_argument("--out", type=Path, default=ROOT / "build" / "wine-cpu")
    parser.add_argument("--prefix", type=Path, default=ROOT / "build" / "wine-prefix-perf")
    parser.add_argument("--profile", type=float, default=0.0, metavar="SECONDS",
                        help="after each program's measured window, sample it with perf for SECONDS")
    parser.add_argument("--calls", action="store_true",
                        help="count paints, SetDIBitsToDevice calls and window updates with perf uprobes")
    args = parser.parse_args()
    for exe in ("wintrel.exe", "wintrel-literal.exe", "wininfo.exe"):
        if not (args.build / exe).exists():
            print(f"error: {args.build / exe} is missing", file=sys.stderr)
            return 2
    if not Path(XSNOW[0]).exists():
        print("error: xsnow is not installed (apt-get install xsnow)", file=sys.stderr)
        return 2
    results: dict[str, dict] = {}
    probes = Probes() if args.calls else None
    try:
        with (probes or contextlib.nullcontext()), \
             Session(args.build, args.prefix, args.out, size=(1920, 1080),
                     log=lambda m: print(m, file=sys.stderr, flush=True)) as session:
            print(f"measuring the idle desktop for {args.seconds:.0f} s", file=sys.stderr, flush=True)
            results["idle desktop"] = measure(session, args.seconds, {}, [])
            for exe in ("wintrel.exe", "wintrel-literal.exe"):
                print(f"measuring {exe}: {args.warmup:.0f} s warm-up, {args.seconds:.0f} s", file=sys.stderr, flush=True)
                results[exe] = run_wine(session, args.build / exe, args.warmup, args.seconds, probes,
                                        args.profile)
            print(f"measuring xsnow: {args.warmup:.0f} s warm-up, {args.seconds:.0f} s", file=sys.stderr, flush=True)
            results["xsnow"] = run_xsnow(session, args.warmup, args.seconds)
    except Failure as error:
        print(f"error: {error}", file=sys.stderr)
        return 1
    text = table(results, args.seconds)
    load = " ".join(f"{v:.2f}" for v in os.getloadavg())
    header = (f"Wine on Xvfb 1920x1080, {args.warmup:.0f} s warm-up and {args.seconds:.0f} s measured per subject, "
              f"one run; load average at the end {load}")
    print(header + "\n\n" + text)
    args.out.mkdir(parents=True, exist_ok=True)
    (args.out / "wine-cpu.md").write_text(header + "\n\n" + text + "\n")
    (args.out / "wine-cpu.json").write_text(json.dumps(results, indent=2) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
