"""Drives the Windows build under Wine on a virtual X display, as a user would.

A Session starts Xvfb on a free display, prepares a Wine prefix once (reused later),
makes every Wine process run in Wine's virtual desktop (so that `wine x.exe` returns the
program's own exit code, and the desktop has a taskbar with a notification area), links
a CJK font into Wine's UI fonts, and offers what the scenarios need: starting programs,
listing the desktop's windows (through wininfo.exe), screenshots, keys and clicks.

Every wait is for a condition with a deadline (wait_for); nothing sleeps for a fixed
time to let something happen.
"""

from __future__ import annotations

import fcntl
import os
import select
import shutil
import signal
import subprocess
import time
from dataclasses import dataclass, field
from pathlib import Path
from typing import Callable, Optional, TypeVar

T = TypeVar("T")

WS_DISABLED = 0x08000000
WS_VISIBLE = 0x10000000
WS_EX_TOPMOST = 0x00000008
WS_EX_TOOLWINDOW = 0x00000080
WS_EX_LAYERED = 0x00080000

# Raise the version when the prefix settings below change: prepared prefixes are redone.
PREFIX_SETTINGS_VERSION = "2"
CJK_FONT = "wqy-microhei.ttc,WenQuanYi Micro Hei"
LINKED_UI_FONTS = ["Tahoma", "MS Shell Dlg", "MS Shell Dlg 2", "Microsoft Sans Serif",
                   "Segoe UI", "SimSun", "Arial"]


class Failure(Exception):
    """A scenario's expectation that did not hold."""


def wait_for(what: str, predicate: Callable[[], Optional[T]], timeout: float,
             interval: float = 0.2) -> T:
    """Returns the first truthy value of predicate(); fails after `timeout` seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(interval)  # polling interval, not a wait for an outcome


def windows_path(path: Path) -> str:
    """The path as Wine's programs see it (Z: is the Unix root)."""
    return "Z:" + str(path.resolve()).replace("/", "\\")


@dataclass
class Rect:
    left: int
    top: int
    right: int
    bottom: int

    @property
    def width(self) -> int:
        return self.right - self.left

    @property
    def height(self) -> int:
        return self.bottom - self.top

    def center(self) -> tuple[int, int]:
        return ((self.left + self.right) // 2, (self.top + self.bottom) // 2)

    def contains(self, x: int, y: int) -> bool:
        return self.left <= x < self.right and self.top <= y < self.bottom

    def __str__(self) -> str:
        return f"({self.left}, {self.top}, {self.right}, {self.bottom})"


@dataclass
class Window:
    handle: str
    image: str
    visible: bool
    style: int
    exstyle: int
    rect: Rect
    cls: str
    title: str


@dataclass
class DesktopInfo:
    screen: tuple[int, int]
    work: Rect
    active: str
    windows: list[Window] = field(default_factory=list)

    def of(self, image: str) -> list[Window]:
        return [w for w in self.windows if w.image.lower() == image.lower()]

    def taskbar(self) -> Optional[Window]:
        for w in self.windows:
            if w.cls == "Shell_TrayWnd" and w.visible:
                return w
        return None

    def describe(self) -> str:
        lines = [f"screen {self.screen}, work area {self.work}, active {self.active}"]
        for w in self.windows:
            if w.visible:
                lines.append(f"  {w.handle} {w.image} {w.cls!r} {w.title!r} {w.rect} "
                             f"style {w.style:08x} exstyle {w.exstyle:08x}")
        return "\n".join(lines)


class Shot:
    """A screenshot of the whole X screen, RGB."""

    def __init__(self, width: int, height: int, rgb: bytes, path: Optional[Path]):
        self.width, self.height, self.rgb, self.path = width, height, rgb, path

    def pixel(self, x: int, y: int) -> tuple[int, int, int]:
        i = (y * self.width + x) * 3
        return (self.rgb[i], self.rgb[i + 1], self.rgb[i + 2])

    def differing(self, other: "Shot", rect: Rect, step: int = 1) -> int:
        """How many pixels of `rect` (sampled every `step`) differ from `other`."""
        count = 0
        for y in range(max(rect.top, 0), min(rect.bottom, self.height), step):
            row = y * self.width * 3
            for x in range(max(rect.left, 0), min(rect.right, self.width), step):
                i = row + x * 3
                if self.rgb[i:i + 3] != other.rgb[i:i + 3]:
                    count += 1
        return count

    @staticmethod
    def parse_ppm(data: bytes, path: Optional[Path]) -> "Shot":
        # P6 <width> <height> <maxval> <one whitespace> <pixels>
        fields: list[bytes] = []
        pos = 0
        while len(fields) < 4:
            while data[pos:pos + 1].isspace():
                pos += 1
            if data[pos:pos + 1] == b"#":
                pos = data.index(b"\n", pos) + 1
                continue
            end = pos
            while not data[end:end + 1].isspace():
                end += 1
            fields.append(data[pos:end])
            pos = end
        if fields[0] != b"P6" or fields[3] != b"255":
            raise Failure(f"unexpected screenshot format {fields}")
        width, height = int(fields[1]), int(fields[2])
        rgb = data[pos + 1:pos + 1 + width * height * 3]
        if len(rgb) != width * height * 3:
            raise Failure("truncated screenshot")
        return Shot(width, height, rgb, path)


def color_near(actual: tuple[int, int, int], expected: tuple[int, int, int], tolerance: int = 8) -> bool:
    return all(abs(a - e) <= tolerance for a, e in zip(actual, expected))


def wine_env(prefix: Path, display: str) -> dict[str, str]:
    """The environment of the Wine processes of one prefix on one display."""
    env = dict(os.environ)
    for name in ("WINELOADER", "WINESERVER", "WINEDLLPATH"):
        env.pop(name, None)
    env.update({
        "DISPLAY": display,
        "WINEPREFIX": str(prefix),
        "WINEARCH": "win64",
        "WINEDEBUG": "-all",
        # No installer dialogs for the .NET and HTML engines.
        "WINEDLLOVERRIDES": "mscoree,mshtml=",
        # A locale without Chinese: texts must read correctly all the same.
        "LC_ALL": "C.UTF-8",
    })
    return env


def run_checked(args: list[str], env: dict[str, str], timeout: float = 120,
                check: bool = True) -> subprocess.CompletedProcess:
    try:
        result = subprocess.run(args, env=env, stdin=subprocess.DEVNULL, capture_output=True,
                                timeout=timeout)
    except subprocess.TimeoutExpired:
        raise Failure(f"{' '.join(args)} did not end within {timeout:.0f} s") from None
    if check and result.returncode != 0:
        raise Failure(f"{' '.join(args)} failed ({result.returncode}): "
                      f"{result.stderr.decode(errors='replace')[-500:]}")
    return result


def prepare_prefix(env: dict[str, str], prefix: Path, size: tuple[int, int], virtual_desktop: bool,
                   log: Callable[[str], None] = print) -> None:
    """Makes the Wine prefix once and gives it the settings; a prepared prefix is reused."""
    version = f"{PREFIX_SETTINGS_VERSION} {'desktop' if virtual_desktop else 'display'} {size[0]}x{size[1]}"
    marker = prefix / ".wintrel-prefix"
    if marker.exists() and marker.read_text().strip() == version:
        return
    started = time.monotonic()
    if not (prefix / "system.reg").exists():
        log(f"creating the Wine prefix {prefix} (once)")
        run_checked(["wineboot", "-i"], env, timeout=300)
        run_checked(["wineserver", "-w"], env, timeout=300)
    settings = [
        ["HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink", font,
         "REG_MULTI_SZ", CJK_FONT] for font in LINKED_UI_FONTS
    ]
    if virtual_desktop:
        settings += [
            # Every Wine process in one virtual desktop of the screen's size.
            ["HKCU\\Software\\Wine\\Explorer", "Desktop", "REG_SZ", "Default"],
            ["HKCU\\Software\\Wine\\Explorer\\Desktops", "Default", "REG_SZ", f"{size[0]}x{size[1]}"],
            # Its taskbar shown from the start, as on a real desktop: otherwise it appears
            # with the first tray icon and the work area shrinks under a running program.
            ["HKCU\\Software\\Wine\\Explorer\\Desktops\\Default", "EnableShell", "REG_DWORD", "1"],
        ]
    for key, value, kind, data in settings:
        run_checked(["wine", "reg", "add", key, "/v", value, "/t", kind, "/d", data, "/f"], env)
    run_checked(["wineserver", "-w"], env, timeout=300)
    marker.write_text(version + "\n")
    log(f"Wine prefix ready in {time.monotonic() - started:.0f} s")


class Program:
    """A Wine process started by the session."""

    def __init__(self, session: "Session", exe: Path, args: list[str]):
        self.session = session
        exe = exe.resolve()  # wine runs it from its own folder
        self.exe = exe
        self.image = exe.name
        self.log_path = session.out_dir / f"{exe.stem}-{session.next_serial()}.log"
        self._log = open(self.log_path, "wb")
        self.popen = subprocess.Popen(["wine", str(exe), *args], cwd=exe.parent, env=session.env,
                                      stdin=subprocess.DEVNULL, stdout=self._log,
                                      stderr=subprocess.STDOUT, start_new_session=True)
        session.programs.append(self)

    def running(self) -> bool:
        return self.popen.poll() is None

    def exit_code(self) -> Optional[int]:
        return self.popen.poll()

    def wait_exit(self, timeout: float) -> int:
        wait_for(f"{self.image} to end", lambda: self.popen.poll() is not None, timeout)
        self._log.close()
        return self.popen.returncode

    def windows(self, info: Optional[DesktopInfo] = None) -> list[Window]:
        info = info or self.session.info()
        return [w for w in info.of(self.image) if w.visible and w.cls != "IME"]

    def kill(self) -> None:
        if self.running():
            try:
                os.killpg(self.popen.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            self.popen.wait()
        if not self._log.closed:
            self._log.close()


class Session:
    """One virtual X display with Wine's virtual desktop on it."""

    def __init__(self, build_dir: Path, prefix: Path, out_dir: Path,
                 size: tuple[int, int] = (1280, 800), log: Callable[[str], None] = print):
        self.build_dir = build_dir.resolve()
        self.prefix = prefix.resolve()
        self.out_dir = out_dir.resolve()
        self.size = size
        self.log = log
        self.programs: list[Program] = []
        self.env: dict[str, str] = {}
        self.display = ""
        self._xvfb: Optional[subprocess.Popen] = None
        self._lock = None
        self._serial = 0
        self.baseline: Optional[Shot] = None

    # --- life cycle

    def __enter__(self) -> "Session":
        try:
            self.start()
        except BaseException:
            self.stop()
            raise
        return self

    def __exit__(self, *exc) -> None:
        self.stop()

    def start(self) -> None:
        for tool in ("wine", "wineserver", "Xvfb", "xdotool", "import", "convert"):
            if shutil.which(tool) is None:
                raise Failure(f"{tool} is not installed (scripts/install-deps.sh installs it)")
        self.out_dir.mkdir(parents=True, exist_ok=True)
        self.prefix.parent.mkdir(parents=True, exist_ok=True)
        # One session at a time per prefix: a prefix's wineserver serves one display.
        self._lock = open(str(self.prefix) + ".lock", "w")
        try:
            fcntl.flock(self._lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            self.log(f"waiting for another session using {self.prefix} to end")
            fcntl.flock(self._lock, fcntl.LOCK_EX)
        self._start_xvfb()
        self.env = wine_env(self.prefix, self.display)
        self._prepare_prefix()
        self._start_desktop()

    def stop(self) -> None:
        for program in self.programs:
            program.kill()
        if self.env:
            subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=30)
            subprocess.run(["wineserver", "-w"], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=30)
        if self._xvfb is not None and self._xvfb.poll() is None:
            self._xvfb.terminate()
            try:
                self._xvfb.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self._xvfb.kill()
                self._xvfb.wait()
        if self._lock is not None:
            self._lock.close()
            self._lock = None

    def _start_xvfb(self) -> None:
        read_end, write_end = os.pipe()
        width, height = self.size
        self._xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{width}x{height}x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL,
            stderr=open(self.out_dir / "xvfb.log", "wb"), start_new_session=True)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 30
        while not number.endswith(b"\n"):
            remaining = deadline - time.monotonic()
            if remaining <= 0 or self._xvfb.poll() is not None:
                os.close(read_end)
                raise Failure("Xvfb did not start (see xvfb.log)")
            ready, _, _ = select.select([read_end], [], [], remaining)
            if ready:
                chunk = os.read(read_end, 16)
                if not chunk:
                    break
                number += chunk
        os.close(read_end)
        self.display = ":" + number.decode().strip()
        self.log(f"Xvfb on display {self.display}")

    def _run(self, args: list[str], timeout: float = 120, check: bool = True) -> subprocess.CompletedProcess:
        return run_checked(args, self.env, timeout, check)

    def _prepare_prefix(self) -> None:
        prepare_prefix(self.env, self.prefix, self.size, virtual_desktop=True, log=self.log)

    def _start_desktop(self) -> None:
        # The first Wine process starts the desktop; the taskbar follows a moment later,
        # and with it the work area shrinks.
        def ready() -> Optional[DesktopInfo]:
            info = self.info()
            if info.taskbar() is not None and info.work.bottom < info.screen[1]:
                return info
            return None
        wait_for("Wine's desktop and taskbar", ready, timeout=90, interval=0.5)
        # A process that lives as long as the session, so the desktop does not end (and
        # start again) between two programs. Started once the desktop runs: two Wine
        # processes starting together with the desktop can hang.
        self.programs.append(Program(self, self.build_dir / "wininfo.exe", ["hold"]))

        # The desktop is painted a moment after its window exists.
        def painted() -> Optional[Shot]:
            shot = self.screenshot()
            w, h = shot.width, shot.height
            if shot.pixel(w // 2, h // 3) == (0, 0, 0) or shot.pixel(w - 3, h - 3) == (0, 0, 0):
                return None
            return shot
        wait_for("the desktop to be painted", painted, timeout=30, interval=0.3)
        self.baseline = self.screenshot("desktop")

    # --- observing

    def next_serial(self) -> int:
        self._serial += 1
        return self._serial

    def info(self) -> DesktopInfo:
        result = self._run(["wine", str(self.build_dir / "wininfo.exe")], timeout=60)
        screen, work, active = (0, 0), Rect(0, 0, 0, 0), ""
        windows: list[Window] = []
        for line in result.stdout.decode("utf-8", errors="replace").splitlines():
            f = line.rstrip("\r").split("\t")
            if f[0] == "screen" and len(f) >= 3:
                screen = (int(f[1]), int(f[2]))
            elif f[0] == "work" and len(f) >= 5:
                work = Rect(*(int(v) for v in f[1:5]))
            elif f[0] == "active" and len(f) >= 2:
                active = f[1]
            elif f[0] == "window" and len(f) >= 11:
                windows.append(Window(f[1], f[2], f[3] == "1", int(f[4], 16), int(f[5], 16),
                                      Rect(*(int(v) for v in f[6:10])), f[10],
                                      f[11] if len(f) > 11 else ""))
        return DesktopInfo(screen, work, active, windows)

    def screenshot(self, name: Optional[str] = None) -> Shot:
        path = self.out_dir / f"{name or 'last'}.png"
        self._run(["import", "-display", self.display, "-window", "root", f"PNG24:{path}"], timeout=60)
        ppm = self._run(["convert", str(path), "-depth", "8", "ppm:-"], timeout=60).stdout
        return Shot.parse_ppm(ppm, path if name else None)

    def end_programs(self) -> None:
        """Ends the programs that scenarios started (the session's own helper stays)."""
        for program in self.programs[1:]:
            program.kill()
        del self.programs[1:]

    # --- acting

    def launch(self, exe: Path, *args: str) -> Program:
        if not exe.exists():
            raise Failure(f"{exe} does not exist")
        return Program(self, exe, list(args))

    def xdotool(self, *args: str) -> None:
        self._run(["xdotool", *args], timeout=30)

    def key(self, keysym: str) -> None:
        self.xdotool("key", keysym)

    def click(self, x: int, y: int, button: int = 1) -> None:
        self.xdotool("mousemove", str(x), str(y), "click", str(button))

    def move(self, x: int, y: int) -> None:
        self.xdotool("mousemove", str(x), str(y))
