#!/usr/bin/env python3
"""Runs one Windows program of the build under Wine, for a person to see.

    tests/e2e/run_once.py --exe build/windows/wintrel.exe --display
        on the current X display, over the real desktop, until the program ends
        (Esc, or the tray menu's second item); exits with the program's exit code.
    tests/e2e/run_once.py --exe build/windows/wintrel.exe --virtual [--seconds 6]
        on a virtual X display inside Wine's desktop: waits for the program's window,
        lets it run for the given seconds, saves a screenshot (its path is printed),
        then ends the program with Esc.
"""

from __future__ import annotations

import argparse
import os
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from wine_harness import Failure, Session, prepare_prefix, wine_env  # noqa: E402
from run_e2e import wait_overlay  # noqa: E402

ROOT = Path(__file__).resolve().parents[2]


def on_display(exe: Path, prefix: Path) -> int:
    env = wine_env(prefix, os.environ["DISPLAY"])
    env.pop("LC_ALL")  # the user's own locale
    prefix.parent.mkdir(parents=True, exist_ok=True)
    prepare_prefix(env, prefix, (0, 0), virtual_desktop=False)
    print(f"running {exe.name} on {env['DISPLAY']}: Esc, or the tray icon's menu, ends it", flush=True)
    return subprocess.run(["wine", str(exe)], env=env, cwd=exe.parent).returncode


def in_virtual_display(exe: Path, prefix: Path, out: Path, seconds: float) -> int:
    with Session(exe.parent, prefix, out, log=lambda m: print(m, flush=True)) as session:
        program = session.launch(exe)
        wait_overlay(session, program)
        time.sleep(seconds)  # shown for the time asked for: a demonstration, not a check
        shot = session.screenshot(exe.stem)
        session.key("Escape")
        code = program.wait_exit(20)
        print(f"screenshot: {shot.path}")
        print(f"{exe.name} ended with exit code {code}")
        return code


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--exe", type=Path, required=True)
    mode = parser.add_mutually_exclusive_group(required=True)
    mode.add_argument("--display", action="store_true")
    mode.add_argument("--virtual", action="store_true")
    parser.add_argument("--seconds", type=float, default=6)
    parser.add_argument("--out", type=Path, default=ROOT / "build" / "run")
    args = parser.parse_args()
    exe = args.exe.resolve()
    try:
        if args.display:
            return on_display(exe, ROOT / "build" / "wine-prefix-display")
        return in_virtual_display(exe, ROOT / "build" / "wine-prefix", args.out, args.seconds)
    except Failure as error:
        print(f"error: {error}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
