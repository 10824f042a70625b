#!/usr/bin/env python3
"""End-to-end tests of the orvix program.

Usage: app_test.py ORVIX CASE

Every case but no_display and display_lost (which starts X servers of its
own, to kill) expects an X display (run it under xvfb-run; depth8 and depth16
on a screen of that depth, the others at 24 bits): it starts the program,
finds its window with xdotool, drives it with XTEST keys or close requests
and looks at it through `import` screenshots. The exit status is 0 when the
case passes; the reason for a failure goes to stderr. Every wait is bounded
and the program is killed on the way out.
"""

import os
import shlex
import signal
import subprocess
import sys
import tempfile
import time

from Xlib import X, Xutil, display
from Xlib.protocol import event

TITLE = "ORVIX SW RENDERING"
SIZE = 512

# The desktop entry and the icon that the window must match: the sources' by
# default, the installed ones when an installed program is checked.
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DESKTOP_ENTRY = os.environ.get("ORVIX_DESKTOP_ENTRY", os.path.join(ROOT, "data/orvix.desktop"))
ICON = os.environ.get("ORVIX_ICON", os.path.join(ROOT, "data/icons/orvix-64.png"))
# A program built for another CPU runs under this command (qemu-user).
EMULATOR = shlex.split(os.environ.get("ORVIX_EMULATOR", ""))

# How long the program may take to show its window: generous, since the
# sanitizer build starts slowly on a loaded machine.
WINDOW_TIMEOUT = 30
EXIT_TIMEOUT = 10

# The room's surfaces and their colours as (red, green, blue). Lit by the
# point light, every channel of a tile is trunc(k * channel) clamped to 255,
# with one factor k = gain * I + ambient > 0.5 for the whole tile, because
# the light is always inside the room.
SURFACES = {
    "wall +x": (0, 128, 255),
    "wall -x": (128, 128, 128),
    "wall +y": (128, 255, 0),
    "wall -y": (255, 0, 128),
    "floor": (0, 255, 128),
    "ceiling": (255, 128, 0),
}


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


# ---- Pictures --------------------------------------------------------------


class Image:
    def __init__(self, width, height, rgb):
        self.width = width
        self.height = height
        self.rgb = rgb

    def pixel(self, x, y):
        i = 3 * (y * self.width + x)
        return self.rgb[i], self.rgb[i + 1], self.rgb[i + 2]


def parse_ppm(data):
    """What `import ... -depth 8 ppm:-` writes: a three-line header, then
    the pixels as red, green, blue bytes."""
    magic, size, maxval, rgb = data.split(b"\n", 3)
    check(magic == b"P6" and maxval == b"255", "not an 8-bit binary PPM: %r" % data[:20])
    width, height = (int(v) for v in size.split())
    check(len(rgb) == 3 * width * height, "screenshot is truncated")
    return Image(width, height, rgb)


def lit(pixel, base):
    """Whether pixel is the colour base scaled by one factor k > 0.5, each
    channel truncated and clamped at 255."""
    lo, hi = 0.5, float("inf")  # k lies in (lo, hi)
    for value, channel in zip(pixel, base):
        if channel == 0:
            if value != 0:
                return False
        elif value == 255:
            lo = max(lo, 255 / channel)
        else:
            # trunc(k * channel) == value: k in [value / channel, (value + 1) / channel)
            lo = max(lo, value / channel)
            hi = min(hi, (value + 1) / channel)
    return lo < hi


def surface_of(pixel):
    for name, base in SURFACES.items():
        if lit(pixel, base):
            return name
    return None


def sample(image, box, step=8):
    """The pixels of a grid over box = (left, top, right, bottom)."""
    left, top, right, bottom = box
    return [image.pixel(x, y) for y in range(top, bottom, step) for x in range(left, right, step)]


def coverage(image, box, step=8):
    """How much of box each surface covers, from 0 to 1."""
    pixels = sample(image, box, step)
    shares = {}
    for p in pixels:
        name = surface_of(p)
        shares[name] = shares.get(name, 0) + 1 / len(pixels)
    return shares


def dominant(image, box):
    """The surface that covers most of box, with its share."""
    shares = coverage(image, box)
    name = max(shares, key=shares.get)
    return name, shares[name]


# Looking along +x from the centre of the room, the wall x = +55 fills the
# middle of the picture (about 35..477 on both axes); the ceiling, floor and
# the walls y = -55 (left) and y = +55 (right) show in the borders.
CENTRE = (96, 96, 416, 416)
REGIONS = [
    ("wall +x", CENTRE),
    ("ceiling", (160, 0, 352, 24)),
    ("floor", (160, 488, 352, 512)),
    ("wall -y", (0, 160, 24, 352)),
    ("wall +y", (488, 160, 512, 352)),
]


def room_problems(image):
    """What is wrong with a picture of the room seen from its centre along
    +x; empty when nothing is. The cube may cover part of any region."""
    problems = []
    if (image.width, image.height) != (SIZE, SIZE):
        return ["picture is %dx%d, not %dx%d" % (image.width, image.height, SIZE, SIZE)]
    for name, box in REGIONS:
        got = coverage(image, box, step=4).get(name, 0)
        if got < 0.7:
            centre = image.pixel((box[0] + box[2]) // 2, (box[1] + box[3]) // 2)
            problems.append("%s covers %.0f%% of %s (middle pixel %s)" % (name, 100 * got, box, centre))
    # Lit, not flat: the point light gives the tiles of the wall ahead
    # different shades, all of them darker than the raw colour at the
    # distances seen from the centre.
    blues = sorted(p[2] for p in sample(image, CENTRE) if surface_of(p) == "wall +x")
    if blues:
        median = blues[len(blues) // 2]
        if not 128 <= median <= 250:
            problems.append("wall +x median blue %d is not that of a lit wall" % median)
        if len(set(blues)) < 4:
            problems.append("wall +x has only the shades %s" % sorted(set(blues)))
    return problems


# ---- The program and its window ---------------------------------------------


def stop_signals(ignored=()):
    """Sets SIGINT and SIGTERM in a child as the test means them, whatever
    this process inherited: caught by default, ignored if named."""
    def preexec():
        for sig in (signal.SIGINT, signal.SIGTERM):
            signal.signal(sig, signal.SIG_IGN if sig in ignored else signal.SIG_DFL)
    return preexec


class Program:
    """The orvix process; killed on the way out if it still runs."""

    def __init__(self, path, env=None, stderr=None, ignored=()):
        self.proc = subprocess.Popen(EMULATOR + [path], env=env, stdin=subprocess.DEVNULL,
                                     stderr=stderr, preexec_fn=stop_signals(ignored))

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()

    def wait_exit(self, timeout=EXIT_TIMEOUT):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure("the program still runs %g s later" % timeout)


def run(args, timeout=10, **kwargs):
    try:
        return subprocess.run(args, timeout=timeout, check=True, stdout=subprocess.PIPE, **kwargs).stdout
    except subprocess.TimeoutExpired:
        raise Failure("%s took longer than %g s" % (" ".join(args), timeout))
    except subprocess.CalledProcessError as e:
        raise Failure("%s failed with %d" % (" ".join(args), e.returncode))


def find_windows(program):
    """The ids of the windows titled TITLE, once there is one. Gives up as
    soon as the program ends."""
    search = subprocess.Popen(["xdotool", "search", "--sync", "--name", "^%s$" % TITLE],
                              stdout=subprocess.PIPE)
    deadline = time.monotonic() + WINDOW_TIMEOUT
    try:
        while search.poll() is None:
            code = program.proc.poll()
            check(code is None, "the program ended with %s before its window appeared" % code)
            check(time.monotonic() < deadline,
                  "no window titled %r appeared in %d s" % (TITLE, WINDOW_TIMEOUT))
            time.sleep(0.05)
    finally:
        if search.poll() is None:
            search.kill()
        out = search.communicate()[0]
    check(search.returncode == 0, "xdotool search failed with %d" % search.returncode)
    return [int(w) for w in out.split()]


def find_window(program):
    windows = find_windows(program)
    check(len(windows) == 1, "%d windows titled %r" % (len(windows), TITLE))
    return windows[0]


def screenshot(window):
    return parse_ppm(run(["import", "-silent", "-window", str(window), "-depth", "8", "ppm:-"]))


def settle(program):
    """Lets a few frames run, and checks the program is still there."""
    time.sleep(1.0)
    check(program.proc.poll() is None, "the program ended by itself (%s)" % program.proc.returncode)


def x_display():
    return display.Display()


def startup_wm_class():
    with open(DESKTOP_ENTRY) as f:
        for line in f:
            key, _, value = line.strip().partition("=")
            if key == "StartupWMClass":
                return value
    raise Failure("%s has no StartupWMClass" % DESKTOP_ENTRY)


def icon_problem(d, w):
    """Why the window's _NET_WM_ICON (width, height, then ARGB pixels) is not
    the pixels of ICON, or None when it is."""
    prop = w.get_full_property(d.intern_atom("_NET_WM_ICON"), X.AnyPropertyType)
    if not prop or len(prop.value) < 2:
        return "the window has no icon"
    width, height = prop.value[0], prop.value[1]
    rgba = run(["convert", ICON, "-depth", "8", "rgba:-"])
    if len(rgba) != 4 * width * height or len(prop.value) < 2 + width * height:
        return "the window's icon is %dx%d, %s has %d pixels" % (width, height, ICON, len(rgba) // 4)
    for i in range(width * height):
        r, g, b, a = rgba[4 * i:4 * i + 4]
        if prop.value[2 + i] & 0xFFFFFFFF != (a << 24 | r << 16 | g << 8 | b):
            return "the window's icon differs from %s at (%d, %d)" % (ICON, i % width, i // width)
    return None


# ---- Cases ------------------------------------------------------------------


def case_window(orvix):
    """One window with the exact title, shown, a 512 x 512 client area,
    fixed size; the X11 class of the desktop entry and its icon."""
    with Program(orvix) as program:
        window = find_window(program)
        d = x_display()
        w = d.create_resource_object("window", window)
        check(w.get_wm_name() == TITLE, "WM_NAME is %r" % w.get_wm_name())
        # Named before it is mapped: give the mapping a moment.
        deadline = time.monotonic() + 5
        while w.get_attributes().map_state != X.IsViewable and time.monotonic() < deadline:
            time.sleep(0.05)
        check(w.get_attributes().map_state == X.IsViewable, "the window is not shown")
        geometry = w.get_geometry()
        check((geometry.width, geometry.height) == (SIZE, SIZE),
              "client area is %dx%d" % (geometry.width, geometry.height))
        hints = w.get_wm_normal_hints()
        fixed = hints and hints.flags & Xutil.PMinSize and hints.flags & Xutil.PMaxSize
        check(fixed and (hints.min_width, hints.min_height, hints.max_width, hints.max_height) == (SIZE,) * 4,
              "window is resizable (size hints %s)" % hints)
        # Docks tie the window to its desktop entry by the class.
        wm_class = w.get_wm_class()
        check(wm_class and wm_class[1] == startup_wm_class(),
              "WM_CLASS is %s, StartupWMClass in %s is %r" % (wm_class, DESKTOP_ENTRY, startup_wm_class()))
        problem = icon_problem(d, w)
        check(problem is None, problem)
        d.close()


def case_room(orvix):
    """The room seen from its centre: the lit wall ahead, the others around."""
    with Program(orvix) as program:
        window = find_window(program)
        settle(program)
        # The drifting cube can hide part of a region in one picture; a
        # wrong picture fails every time.
        for _ in range(3):
            problems = room_problems(screenshot(window))
            if not problems:
                return
            time.sleep(0.5)
        raise Failure("the picture is not the room: " + "; ".join(problems))


def case_turn(orvix):
    """Holding the right arrow turns the view to the right, towards the wall
    y = +55, and releasing it stops the turn."""
    with Program(orvix) as program:
        window = find_window(program)
        run(["xdotool", "windowfocus", "--sync", str(window)])
        settle(program)
        name, _ = dominant(screenshot(window), CENTRE)
        check(name == "wall +x", "before any key the view shows %s, not wall +x" % name)
        # Short holds, each well under the quarter turn (16 frames) for which
        # the wall y = +55 fills the middle, so none can be missed.
        seen = []
        try:
            for _ in range(60):
                run(["xdotool", "keydown", "Right"])
                time.sleep(0.1)
                run(["xdotool", "keyup", "Right"])
                name, part = dominant(screenshot(window), CENTRE)
                seen.append(name)
                if name == "wall +y" and part > 0.5:
                    break
                check(name != "wall -y", "the view turned left: %s" % seen)
            else:
                raise Failure("the view did not turn to wall +y: %s" % seen)
        finally:
            run(["xdotool", "keyup", "Right"])
        check_still(window, "the view still turns after the key is released")


def case_focus(orvix):
    """A key held while the window loses the focus counts as released: its
    key-up goes elsewhere."""
    with Program(orvix) as program:
        window = find_window(program)
        run(["xdotool", "windowfocus", "--sync", str(window)])
        settle(program)
        d = x_display()
        try:
            run(["xdotool", "keydown", "Right"])
            time.sleep(0.1)
            d.set_input_focus(X.NONE, X.RevertToNone, X.CurrentTime)
            d.sync()
        finally:
            run(["xdotool", "keyup", "Right"])
            d.close()
        check_still(window, "the view still turns after the focus left the window")


def check_still(window, message):
    """The picture keeps its surfaces over 20 frames: only the light and the
    cube move. A turning view (3 rad/s) changes most of them."""
    time.sleep(0.3)
    before = screenshot(window)
    time.sleep(0.6)
    after = screenshot(window)
    grid = (0, 0, SIZE, SIZE)
    pairs = list(zip(sample(before, grid, 16), sample(after, grid, 16)))
    same = sum(1 for a, b in pairs if surface_of(a) == surface_of(b))
    check(same / len(pairs) >= 0.85, "%s (%d%% unchanged)" % (message, 100 * same // len(pairs)))


def close_request(window):
    d = x_display()
    w = d.create_resource_object("window", window)
    protocols = d.intern_atom("WM_PROTOCOLS")
    delete = d.intern_atom("WM_DELETE_WINDOW")
    message = event.ClientMessage(window=w, client_type=protocols,
                                  data=(32, [delete, X.CurrentTime, 0, 0, 0]))
    w.send_event(message, event_mask=X.NoEventMask)
    # A round trip, not just a flush: closing the connection right after
    # writing can lose the request (about one run in ten under load).
    d.sync()
    d.close()


def destroy(window):
    """What a window manager's force-close does: another client destroys the
    window."""
    run(["xdotool", "windowclose", str(window)])


def free_gcs(window):
    """Another client frees the graphics contexts of the window's owner (ids
    just above the window's; the others are refused with BadGC, to us):
    the program's next drawing request is refused."""
    d = x_display()
    d.set_error_handler(lambda *error: None)
    for rid in range(window + 1, window + 64):
        d.create_resource_object("gc", rid).free()
    d.sync()
    d.close()


def destroy_when_made(d, program):
    """Destroys the program's window as soon as the X server made it, while
    SDL still sets it up; d hears of the root window's new children."""
    deadline = time.monotonic() + WINDOW_TIMEOUT
    while True:
        check(program.proc.poll() is None, "the program ended with %s before it made a window"
              % program.proc.returncode)
        check(time.monotonic() < deadline, "no window made in %d s" % WINDOW_TIMEOUT)
        while d.pending_events():
            e = d.next_event()
            if e.type == X.CreateNotify:
                e.window.destroy()
                d.sync()
                return
        time.sleep(0.001)


def case_close(orvix):
    """A close request from the window manager, or the window destroyed by
    another client, whenever it comes, ends the program as a close: exit 0,
    nothing on stderr. Another request refused by the server is one line
    and exit 1."""
    d = x_display()
    d.screen().root.change_attributes(event_mask=X.SubstructureNotifyMask)
    for what, act, wait, expected_code, expected_err in (
            ("a close request", close_request, 1.0, 0, ""),
            ("the window destroyed", destroy, 1.0, 0, ""),
            ("the window destroyed as it appears", destroy, 0, 0, ""),
            ("the window destroyed as SDL makes it", None, 0, 0, ""),
            ("its drawing state freed", free_gcs, 1.0, 1, "orvix: X error BadGC ")):
        while d.pending_events():
            d.next_event()
        with Program(orvix, stderr=subprocess.PIPE) as program:
            if act:
                window = find_window(program)
                time.sleep(wait)
                act(window)
            else:
                destroy_when_made(d, program)
            code = program.wait_exit()
            err = program.proc.stderr.read().decode()
            check(code == expected_code, "exit code %d after %s (stderr %r)" % (code, what, err))
            check(err.startswith(expected_err) and err.count("\n") == (1 if expected_err else 0),
                  "stderr after %s is %r, not %s" % (what, err, "one line that starts with %r" % expected_err
                                                      if expected_err else "empty"))


def wait_for_display_connection(program):
    """Waits until the program holds a socket: the first it opens is its
    connection to the X server, made while SDL starts."""
    deadline = time.monotonic() + WINDOW_TIMEOUT
    fds = "/proc/%d/fd" % program.proc.pid
    while True:
        check(program.proc.poll() is None,
              "the program ended with %s before it opened the display" % program.proc.returncode)
        check(time.monotonic() < deadline, "no connection to the display in %d s" % WINDOW_TIMEOUT)
        for fd in os.listdir(fds):
            try:
                if os.readlink(os.path.join(fds, fd)).startswith("socket:"):
                    return
            except FileNotFoundError:  # closed since the listing
                pass
        time.sleep(0.001)


def stop_with(orvix, sig):
    """The signal closes the window as a close request does, exit code 0,
    whenever it comes: while SDL opens the display, in the first frames, or
    once the program runs. (Before that the dynamic loader is still loading
    the libraries, a few milliseconds in which no program can catch it.)"""
    name = signal.Signals(sig).name
    for delay in (0, 0.005, 0.02, 0.05, 0.1):
        with Program(orvix) as program:
            wait_for_display_connection(program)
            time.sleep(delay)
            program.proc.send_signal(sig)
            code = program.wait_exit()
            check(code == 0, "exit code %d after %s %g s after the display was opened" % (code, name, delay))
    with Program(orvix) as program:
        find_window(program)
        settle(program)
        program.proc.send_signal(sig)
        code = program.wait_exit()
        check(code == 0, "exit code %d after %s" % (code, name))


def case_sigterm(orvix):
    """As stop_with, and `timeout`, which sends SIGTERM to the program and
    then to its process group: one request that arrives twice, exit code 0
    every time (four runs at a time)."""
    stop_with(orvix, signal.SIGTERM)
    command = ["timeout", "--preserve-status", "1.5"] + EMULATOR + [orvix]
    codes = []
    for _ in range(5):
        runs = [subprocess.Popen(command, stdin=subprocess.DEVNULL, preexec_fn=stop_signals())
                for _ in range(4)]
        for proc in runs:
            try:
                codes.append(proc.wait(timeout=WINDOW_TIMEOUT))
            except subprocess.TimeoutExpired:
                for p in runs:
                    p.kill()
                raise Failure("`%s` still runs %d s later" % (" ".join(command), WINDOW_TIMEOUT))
    check(codes == [0] * 20, "`%s` exit codes %s" % (" ".join(command), codes))


def case_sigint(orvix):
    """As stop_with; and SIGINT ignored when the program started (a script's
    background job) stays ignored."""
    stop_with(orvix, signal.SIGINT)
    with Program(orvix, ignored=(signal.SIGINT,)) as program:
        find_window(program)
        program.proc.send_signal(signal.SIGINT)
        settle(program)
        program.proc.send_signal(signal.SIGTERM)
        code = program.wait_exit()
        check(code == 0, "exit code %d after SIGTERM, SIGINT ignored" % code)


class XServer:
    """An X server of the case's own, to kill: Xvfb on a display number it
    finds free itself, with extra arguments."""

    def __init__(self, *extra):
        self.extra = list(extra)

    def __enter__(self):
        read_end, write_end = os.pipe()
        self.proc = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "640x480x24",
                                      "-nolisten", "tcp"] + self.extra, pass_fds=(write_end,),
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as ready:  # the number, once it accepts clients
            number = ready.readline().strip()
        check(number.isdigit(), "Xvfb did not start (exit code %s)" % self.proc.poll())
        self.display = ":" + number
        return self

    def __exit__(self, *exc):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait()


def case_display_lost(orvix):
    """The X server killed under the running program, at different moments:
    every time exit code 1 within a second, and one line that says the
    connection broke (nothing left spinning on the dead connection, no second
    report from a destructor; on a server without RANDR, no line of Xlib's
    about that either). An X server that stops answering holds the program
    in Xlib: a repeat of the request to stop within a second is the same
    request, a second one later ends it at once, as if the signal were not
    caught."""
    for wait, extra in ((0, ()), (0.3, ()), (1.0, ()), (0.1, ()), (0.6, ("-extension", "RANDR"))):
        with XServer(*extra) as server:
            os.environ["DISPLAY"] = server.display  # for the program and xdotool
            with Program(orvix, stderr=subprocess.PIPE) as program:
                find_window(program)
                time.sleep(wait)
                server.proc.kill()
                killed = time.monotonic()
                try:
                    code = program.proc.wait(timeout=1)
                except subprocess.TimeoutExpired:
                    raise Failure("the program still runs 1 s after its X server was killed")
                elapsed = time.monotonic() - killed
                err = program.proc.stderr.read().decode()
                check(code == 1, "exit code %d after the X server was killed (stderr %r)" % (code, err))
                line = "orvix: X connection to %s broken (" % server.display
                check(err.startswith(line) and err.count("\n") == 1 and err.endswith("\n"),
                      "stderr is %r, not one line that starts with %r" % (err, line))
                print("X server killed %g s after the window appeared: exit 1 after %.3f s" % (wait, elapsed))
    for sig in (signal.SIGTERM, signal.SIGINT):
        name = signal.Signals(sig).name
        with XServer() as server:
            os.environ["DISPLAY"] = server.display
            with Program(orvix) as program:
                find_window(program)
                server.proc.send_signal(signal.SIGSTOP)
                program.proc.send_signal(sig)
                first = time.monotonic()
                time.sleep(0.2)
                program.proc.send_signal(sig)
                time.sleep(0.5)
                check(program.proc.poll() is None,
                      "%s again 0.2 s after the first ended the program (%s), its X server stopped"
                      % (name, program.proc.returncode))
                time.sleep(first + 1.5 - time.monotonic())
                program.proc.send_signal(sig)
                try:
                    code = program.proc.wait(timeout=1)
                except subprocess.TimeoutExpired:
                    raise Failure("the program still runs 1 s after %s 1.5 s after the first, its X server stopped"
                                  % name)
                check(code == -sig, "exit code %d after %s 1.5 s after the first, its X server stopped"
                      % (code, name))


def expect_no_window(orvix, env, message):
    """The program gives up at once with exit code 255, and its stderr is one
    line that starts with message."""
    start = time.monotonic()
    with Program(orvix, env=env, stderr=subprocess.PIPE) as program:
        try:
            err = program.proc.communicate(timeout=EXIT_TIMEOUT)[1].decode()
        except subprocess.TimeoutExpired:
            raise Failure("the program still runs %g s later" % EXIT_TIMEOUT)
        code = program.proc.returncode
    elapsed = time.monotonic() - start
    check(code == 255, "exit code %d, not 255 (stderr %r)" % (code, err))
    check(elapsed < 5, "took %.1f s to give up" % elapsed)
    check(err.startswith(message) and err.count("\n") == 1 and err.endswith("\n"),
          "stderr is %r, not one line that starts with %r" % (err, message))


def case_no_display(orvix):
    """No display: no window, exit code 255 at once, and our own line alone,
    naming the display tried (SDL's Wayland probe complains on stderr when
    XDG_RUNTIME_DIR is not set, so it must not run then)."""
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER", "XDG_RUNTIME_DIR")}
    no_window = "orvix: cannot open a window: "
    expect_no_window(orvix, env, no_window + "no display (DISPLAY is not set)\n")
    expect_no_window(orvix, dict(env, DISPLAY=":99999"), no_window + "no display at DISPLAY=:99999 (")
    expect_no_window(orvix, dict(env, DISPLAY=":9\n9\t"), no_window + "no display at DISPLAY=:9\\x0a9\\x09 (")
    expect_no_window(orvix, dict(env, DISPLAY=":99999", SDL_VIDEODRIVER="wayland"),
                     no_window + "no display at DISPLAY=:99999 (SDL video driver 'wayland' needs XDG_RUNTIME_DIR)\n")
    with tempfile.TemporaryDirectory() as runtime:  # no Wayland socket in it
        expect_no_window(orvix, dict(env, XDG_RUNTIME_DIR=runtime),
                         no_window + "no display (DISPLAY is not set; SDL video driver ")


def case_depth8(orvix):
    """A display SDL has no window surface for (8 bits a pixel, a palette):
    no window rather than a black one, and the reason."""
    expect_no_window(orvix, None, "orvix: cannot open a window: SDL cannot draw on this display (")


def case_depth16(orvix):
    """A 16-bit display, where SDL converts each frame at the present: the
    wall ahead shows in shades of its colour (no red but for a 5-bit step,
    blue at least green)."""
    with Program(orvix) as program:
        window = find_window(program)
        settle(program)
        for _ in range(3):  # the drifting cube may hide part of the wall
            pixels = sample(screenshot(window), CENTRE)
            wall = [p for p in pixels if p[0] <= 8 and p[2] >= p[1] > 0]
            if len(wall) >= 0.7 * len(pixels) and len(set(wall)) >= 4:
                return
            time.sleep(0.5)
        raise Failure("the wall ahead covers %d of %d samples in %d shades"
                      % (len(wall), len(pixels), len(set(wall))))


CASES = {name[5:]: f for name, f in globals().items() if name.startswith("case_")}


def main():
    if len(sys.argv) != 3 or sys.argv[2] not in CASES:
        print("usage: app_test.py ORVIX {%s}" % ",".join(CASES), file=sys.stderr)
        return 2
    orvix, case = sys.argv[1:]
    try:
        CASES[case](orvix)
    except Failure as e:
        print("app_test %s: FAILED: %s" % (case, e), file=sys.stderr)
        return 1
    print("app_test %s: passed" % case)
    return 0


if __name__ == "__main__":
    sys.exit(main())
