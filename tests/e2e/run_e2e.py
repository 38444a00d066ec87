#!/usr/bin/env python3
"""End-to-end checks of the Windows build under Wine.

    tests/e2e/run_e2e.py [--build-dir build/windows] [--prefix build/wine-prefix]
                         [--out build/e2e] [--only NAME ...] [--list]

Each scenario runs against the programs it names: `smoke` (wintrel-smoke.exe, the
window system's own smoke program) and `wintrel` (wintrel.exe, the program), or none.
A program that was not built is reported as skipped, never passed over quietly.
Screenshots and logs go to the output folder. Ends with `N passed, N failed, N skipped`
and exit code 1 if anything failed.

Adding a scenario: write a function taking (session, target) under @scenario(...) and
use the session's helpers; every wait is a wait_for with a deadline.
"""

from __future__ import annotations

import argparse
import sys
import time
import traceback
from dataclasses import dataclass
from pathlib import Path
from typing import Callable, Optional

sys.path.insert(0, str(Path(__file__).resolve().parent))
from wine_harness import (WS_DISABLED, WS_EX_LAYERED, WS_EX_TOPMOST, DesktopInfo, Failure,  # noqa: E402
                          Program, Rect, Session, Shot, Window, color_near, wait_for, windows_path)

ROOT = Path(__file__).resolve().parents[2]

# GBK titles as they read in UTF-8.
ABOUT_TITLE = "关于作者"


@dataclass
class Target:
    kind: str   # "smoke" or "wintrel"
    exe: Path


@dataclass
class Scenario:
    name: str
    kinds: tuple[str, ...]  # () for a scenario that needs no program
    run: Callable[[Session, Optional[Target]], None]


SCENARIOS: list[Scenario] = []


def scenario(name: str, *kinds: str):
    def register(fn):
        SCENARIOS.append(Scenario(name, kinds, fn))
        return fn
    return register


# --- helpers shared by the scenarios

def wait_overlay(session: Session, program: Program, timeout: float = 40) -> Window:
    """The program's overlay: visible, layered, topmost and covering the work area."""
    def found() -> Optional[Window]:
        if not program.running():
            raise Failure(f"{program.image} ended early with exit code {program.exit_code()}")
        info = session.info()
        for w in program.windows(info):
            if (w.exstyle & WS_EX_LAYERED) and (w.exstyle & WS_EX_TOPMOST) and \
                    w.rect.left <= info.work.left and w.rect.top <= info.work.top and \
                    w.rect.right >= info.work.right and w.rect.bottom >= info.work.bottom:
                return w
        return None
    return wait_for(f"the overlay window of {program.image}", found, timeout)


def tray_slot(session: Session) -> tuple[int, int]:
    """Where the first notification-area icon sits: the taskbar's right end."""
    taskbar = session.info().taskbar()
    if taskbar is None:
        raise Failure("no taskbar")
    return (taskbar.rect.right - 12, (taskbar.rect.top + taskbar.rect.bottom) // 2)


def slot_area(x: int, y: int) -> Rect:
    return Rect(x - 7, y - 7, x + 8, y + 8)


def wait_tray_icon(session: Session, shown: bool, timeout: float = 20) -> tuple[int, int]:
    x, y = tray_slot(session)
    area = slot_area(x, y)
    assert session.baseline is not None

    def state() -> bool:
        changed = session.screenshot().differing(session.baseline, area) > 20
        return changed == shown
    wait_for("the tray icon to " + ("appear" if shown else "go"), state, timeout, interval=0.3)
    return x, y


def end_with_escape(session: Session, program: Program) -> None:
    session.key("Escape")
    code = program.wait_exit(20)
    if code != 0:
        raise Failure(f"{program.image} ended with exit code {code}, not 0")


def open_tray_menu(session: Session, program: Program, x: int, y: int) -> Window:
    session.click(x, y, 3)
    return wait_window(session, program, "the tray menu", lambda w: w.cls == "#32768")


def end_with_tray_exit(session: Session, program: Program) -> None:
    """Ends the program with the second item of its tray menu, whatever window is active."""
    x, y = wait_tray_icon(session, shown=True)
    menu = open_tray_menu(session, program, x, y)
    session.click(menu.rect.left + menu.rect.width // 2, menu.rect.top + 3 * menu.rect.height // 4)
    code = program.wait_exit(20)
    if code != 0:
        raise Failure(f"exit through the tray menu gave exit code {code}")
    wait_tray_icon(session, shown=False)


def wait_window(session: Session, program: Program, what: str,
                test: Callable[[Window], bool], timeout: float = 20) -> Window:
    def found() -> Optional[Window]:
        for w in program.windows():
            if test(w):
                return w
        return None
    return wait_for(what, found, timeout)


def quiet_point(shot: Shot, baseline: Shot, near: tuple[int, int], search: Rect) -> tuple[int, int]:
    """A point where the overlay shows the desktop (a 9 x 9 patch as on the bare desktop)."""
    cx, cy = near
    for radius in range(0, 200, 10):
        for dx, dy in ((0, 0), (radius, 0), (-radius, 0), (0, radius), (0, -radius)):
            x, y = cx + dx, cy + dy
            patch = Rect(x - 4, y - 4, x + 5, y + 5)
            if search.contains(patch.left, patch.top) and search.contains(patch.right - 1, patch.bottom - 1) \
                    and shot.differing(baseline, patch) == 0:
                return x, y
    raise Failure(f"no point near {near} shows the desktop")


# --- scenarios

@scenario("backend-tests")
def backend_tests(session: Session, _: Optional[Target]) -> None:
    """The back end's own tests on the real window system."""
    program = session.launch(session.build_dir / "win32_backend_test.exe")
    code = program.wait_exit(180)
    if code != 0:
        tail = program.log_path.read_text(errors="replace").splitlines()[-30:]
        raise Failure(f"win32_backend_test.exe ended with {code}:\n" + "\n".join(tail))


@scenario("start-and-escape", "smoke", "wintrel")
def start_and_escape(session: Session, target: Optional[Target]) -> None:
    """The program starts, its overlay covers the work area showing the desktop through,
    and Esc ends it with exit code 0, taking its tray icon with it."""
    assert target is not None and session.baseline is not None
    program = session.launch(target.exe)
    overlay = wait_overlay(session, program)
    info = session.info()
    if overlay.rect.right - overlay.rect.left != info.work.width or \
            overlay.rect.bottom - overlay.rect.top != info.work.height:
        raise Failure(f"the overlay {overlay.rect} does not match the work area {info.work}")
    if target.kind == "smoke":
        # The squares are drawn; between them the desktop shows through.
        shot = wait_for("the smoke squares", lambda: (s := session.screenshot()) and
                        color_near(s.pixel(info.work.left + 130, info.work.top + 130), (192, 0, 0)) and s,
                        timeout=20)
        if shot.pixel(info.work.left + 180, info.work.top + 130) != \
                session.baseline.pixel(info.work.left + 180, info.work.top + 130):
            raise Failure("the colour key does not show the desktop between the squares")
    shot = session.screenshot(f"started-{target.kind}")
    session.log(f"    screenshot {shot.path}")
    wait_tray_icon(session, shown=True)
    end_with_escape(session, program)
    wait_for("the overlay to go", lambda: not program.windows(), timeout=10)
    wait_tray_icon(session, shown=False)


@scenario("tray-menu-about-exit", "smoke", "wintrel")
def tray_menu(session: Session, target: Optional[Target]) -> None:
    """Right-click on the tray icon opens the menu; its first item shows the About box
    (task-modal: the overlay is disabled meanwhile); its second item ends the program."""
    assert target is not None
    program = session.launch(target.exe)
    overlay = wait_overlay(session, program)
    x, y = wait_tray_icon(session, shown=True)

    menu = open_tray_menu(session, program, x, y)
    if menu.rect.height < 10 or menu.rect.width < 10:
        raise Failure(f"the menu is {menu.rect}")
    session.screenshot(f"menu-{target.kind}")
    # Two items of equal height: the first in the upper half, the second in the lower.
    session.click(menu.rect.left + menu.rect.width // 2, menu.rect.top + menu.rect.height // 4)
    box = wait_window(session, program, "the About box", lambda w: w.title == ABOUT_TITLE)
    shot = session.screenshot(f"about-{target.kind}")
    session.log(f"    screenshot {shot.path}")
    overlay_now = next((w for w in program.windows() if w.handle == overlay.handle), None)
    if overlay_now is None or not overlay_now.style & WS_DISABLED:
        raise Failure("the overlay is not disabled while the About box is open")
    session.key("Return")
    wait_for("the About box to close",
             lambda: not any(w.handle == box.handle for w in program.windows()), timeout=10)
    wait_for("the overlay to be enabled again",
             lambda: any(w.handle == overlay.handle and not w.style & WS_DISABLED
                         for w in program.windows()), timeout=10)

    end_with_tray_exit(session, program)


@scenario("click-through", "smoke", "wintrel")
def click_through(session: Session, target: Optional[Target]) -> None:
    """A click where the overlay shows the desktop reaches the window below; (smoke) a click
    on a drawn square does not."""
    assert target is not None and session.baseline is not None
    record = session.out_dir / f"probe-{target.kind}.txt"
    record.unlink(missing_ok=True)
    info = session.info()
    probe_rect = Rect(info.work.left + 60, info.work.top + 60, info.work.left + 460, info.work.top + 200)
    probe = session.launch(session.build_dir / "probe.exe", windows_path(record),
                           str(probe_rect.left), str(probe_rect.top),
                           str(probe_rect.width), str(probe_rect.height))
    wait_for("the probe window", lambda: record.exists() and "ready" in record.read_text(), timeout=30)
    program = session.launch(target.exe)
    wait_overlay(session, program)
    probe_only = session.screenshot()  # the probe under the overlay
    wait_tray_icon(session, shown=True)

    def clicks() -> list[str]:
        return [l for l in record.read_text().splitlines() if l.startswith("down")]

    if target.kind == "smoke":
        # First on the red square (drawn: the overlay takes it), then on the desktop
        # colour between the squares: the probe must see only the second.
        session.click(info.work.left + 130, info.work.top + 130)
        point = (info.work.left + 180, info.work.top + 130)
    else:
        shot = session.screenshot()
        point = quiet_point(shot, probe_only, probe_rect.center(), probe_rect)
    session.click(*point)
    got = wait_for("the probe to record a click", clicks, timeout=15)
    expected = f"down L {point[0] - probe_rect.left} {point[1] - probe_rect.top}"
    if got != [expected]:
        raise Failure(f"the probe recorded {got}, expected only [{expected!r}]")
    session.screenshot(f"click-through-{target.kind}")
    # The click made the probe the active window, so Esc would go to it.
    end_with_tray_exit(session, program)
    probe.kill()


@scenario("snow-falls", "wintrel")
def snow_falls(session: Session, target: Optional[Target]) -> None:
    """Snowflakes appear over the desktop, and keep changing."""
    assert target is not None and session.baseline is not None
    program = session.launch(target.exe)
    wait_overlay(session, program)
    info = session.info()
    work = info.work
    first = wait_for("snowflakes on the screen",
                     lambda: (s := session.screenshot()) and s.differing(session.baseline, work, step=2) > 50 and s,
                     timeout=20, interval=0.5)
    wait_for("the snow to move",
             lambda: session.screenshot().differing(first, work, step=2) > 50, timeout=20, interval=0.5)
    shot = session.screenshot("snow")
    session.log(f"    screenshot {shot.path}")
    end_with_escape(session, program)


# --- running

def targets(build_dir: Path) -> dict[str, Target]:
    return {kind: Target(kind, build_dir / name)
            for kind, name in (("smoke", "wintrel-smoke.exe"), ("wintrel", "wintrel.exe"))}


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build-dir", type=Path, default=ROOT / "build" / "windows")
    parser.add_argument("--prefix", type=Path, default=ROOT / "build" / "wine-prefix")
    parser.add_argument("--out", type=Path, default=ROOT / "build" / "e2e")
    parser.add_argument("--only", nargs="*", default=None, help="scenario names (name or name[kind])")
    parser.add_argument("--list", action="store_true")
    args = parser.parse_args()
    args.build_dir = args.build_dir.resolve()
    args.out = args.out.resolve()

    available = targets(args.build_dir)
    plan: list[tuple[Scenario, Optional[Target], str]] = []
    for s in SCENARIOS:
        for kind in (s.kinds or (None,)):
            label = s.name if kind is None else f"{s.name}[{kind}]"
            if args.only is not None and s.name not in args.only and label not in args.only:
                continue
            plan.append((s, available[kind] if kind else None, label))
    if args.list:
        for _, _, label in plan:
            print(label)
        return 0

    passed = failed = skipped = 0
    runnable = []
    for s, target, label in plan:
        if target is not None and not target.exe.exists():
            print(f"SKIP {label}: {target.exe.name} was not built", flush=True)
            skipped += 1
        else:
            runnable.append((s, target, label))
    required = [args.build_dir / n for n in ("wininfo.exe", "probe.exe", "win32_backend_test.exe")]
    missing = [p.name for p in required if not p.exists()]
    if missing:
        print(f"FAIL setup: not built: {', '.join(missing)}")
        print(f"{passed} passed, {len(runnable) + 1} failed, {skipped} skipped")
        return 1

    args.out.mkdir(parents=True, exist_ok=True)
    try:
        with Session(args.build_dir, args.prefix, args.out, log=lambda m: print(m, flush=True)) as session:
            for s, target, label in runnable:
                started = time.monotonic()
                try:
                    s.run(session, target)
                    print(f"PASS {label} ({time.monotonic() - started:.1f} s)", flush=True)
                    passed += 1
                except Exception as error:  # a scenario's failure, reported and counted
                    failed += 1
                    reason = str(error) if isinstance(error, Failure) else traceback.format_exc()
                    print(f"FAIL {label} ({time.monotonic() - started:.1f} s): {reason}", flush=True)
                    try:
                        shot = session.screenshot(f"failure-{label.replace('[', '-').rstrip(']')}")
                        print(f"    screenshot {shot.path}")
                        print("    " + session.info().describe().replace("\n", "\n    "))
                    except Exception as detail:  # noqa: BLE001 - the details are a courtesy
                        print(f"    (no details: {detail})")
                finally:
                    session.end_programs()
    except Failure as error:
        print(f"FAIL setup: {error}")
        failed += len(runnable) - passed - failed or 1
    print(f"{passed} passed, {failed} failed, {skipped} skipped", flush=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
