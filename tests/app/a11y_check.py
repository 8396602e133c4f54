#!/usr/bin/python3
"""OVELA through a screen reader's eyes and from the keyboard alone.

Run on a desktop of its own (under-desktop.sh): starts the AT-SPI bus and ovela programs for
Bo, Ana and Cy; opens Bo's windows with keys (xdotool) and walks each one's accessible tree,
where every focusable control needs a name and a real role, and Escape closes each window;
then, with keys only, Bo calls Ana, Ana answers, Cy is turned away (Ana's busy notice), Bo
holds Talk with Space, hangs up, and opens the quick message Ana left. Every finding is printed
as "window: what is wrong" (naming the control); exits 1 on any, 77 when AT-SPI is missing.

    a11y_check.py OVELA_BINARY
"""
import math
import os
import random
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import wave

try:
    import pyatspi
except ImportError:
    print("a11y_check: skipped, python3-pyatspi is missing (scripts/deps.sh)", file=sys.stderr)
    sys.exit(77)
LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
if not os.path.exists(LAUNCHER) or not shutil.which("xdotool"):
    print("a11y_check: skipped, at-spi2-core or xdotool is missing", file=sys.stderr)
    sys.exit(77)

BAD_ROLES = {"unknown", "filler", "invalid"}
failures = []


def fail(where, what):
    failures.append(f"{where}: {what}")
    print(f"FAIL {where}: {what}", flush=True)


def free_base_port():
    """A base port with its three neighbours free (control, media, messages, text)."""
    for _ in range(200):
        port = random.randrange(12000, 32000, 4)
        held = []
        try:
            for p in range(port, port + 4):
                held.append(socket.socket())
                held[-1].bind(("127.0.0.1", p))
            return port
        except OSError:
            continue
        finally:
            for s in held:
                s.close()
    raise RuntimeError("no free ports")


def start(binary, folder, who, port, script="", arguments=()):
    os.makedirs(f"{folder}/cfg/ovela")
    os.makedirs(f"{folder}/run")
    with open(f"{folder}/cfg/ovela/ovela.ini", "w") as f:
        f.write(f"[Personal]\n{who}\n")
    # The microphone plays a tone from a file: 8 kHz, 8-bit, mono, ten seconds.
    with wave.open(f"{folder}/mic.wav", "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(1)
        w.setframerate(8000)
        w.writeframes(bytes(128 + int(60 * math.sin(i / 4)) for i in range(80000)))
    env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
               QT_ACCESSIBILITY="1", OVELA_MAP_PORTS="No", XDG_CONFIG_HOME=f"{folder}/cfg",
               XDG_RUNTIME_DIR=f"{folder}/run", OVELA_MIC=f"wav:{folder}/mic.wav",
               OVELA_SPEAKER=f"wav:{folder}/speaker.wav",
               OVELA_PAL_HOST=f"127.0.0.1:{free_base_port()}",
               OVELA_DIRECTORY_HOST=f"127.0.0.1:{free_base_port()}", OVELA_SCRIPT=script)
    out = open(f"{folder}/stderr.txt", "w")
    return subprocess.Popen([binary, "--base-port", str(port), *arguments], cwd=folder, env=env,
                            stdout=out, stderr=subprocess.STDOUT)


def wait_for(what, seconds=15):
    end = time.time() + seconds
    while time.time() < end:
        value = what()
        if value:
            return value
        time.sleep(0.2)
    return None


def app_of(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        try:
            if app and app.get_process_id() == pid:
                return app
        except Exception:
            pass
    return None


def frames(pid):
    app = app_of(pid)
    if not app:
        return []
    shown = []
    for i in range(app.childCount):
        w = app.getChildAtIndex(i)
        if w and w.getState().contains(pyatspi.STATE_SHOWING):
            shown.append(w)
    return shown


def frame(pid, title):
    return wait_for(lambda: next((w for w in frames(pid) if w.name == title), None))


def walk(node, path=""):
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is None:
            continue
        here = f"{path}/{child.getRoleName()}[{i}]"
        yield child, here
        yield from walk(child, here)


def check(window, where=None):
    """Every focusable control that shows has a name and a role a screen reader can say."""
    where = where or window.name
    seen = 0
    for node, path in walk(window):
        state = node.getState()
        if not (state.contains(pyatspi.STATE_FOCUSABLE) and state.contains(pyatspi.STATE_SHOWING)):
            continue
        seen += 1
        role = node.getRoleName()
        # Items inside lists and tables are named by their text; an empty row is not a control.
        if role in ("table cell", "list item", "tree item", "menu item"):
            continue
        if not node.name.strip():
            fail(where, f"a {role} without a name ({path})")
        if role in BAD_ROLES:
            fail(where, f"'{node.name}' has the role {role} ({path})")
    if not seen:
        fail(where, "no control takes the keyboard focus")
    print(f"checked {where}: {seen} focusable controls", flush=True)


def find(window, name, role=None):
    for node, _ in walk(window):
        if node.name == name and (role is None or node.getRoleName() == role):
            return node
    return None


def focused(window):
    for node, _ in walk(window):
        if node.getState().contains(pyatspi.STATE_FOCUSED):
            return node
    return None


def xdo(*args):
    subprocess.run(["xdotool", *args], check=False, capture_output=True)


def activate(pid, title):
    def search():
        return subprocess.run(["xdotool", "search", "--all", "--onlyvisible", "--pid", str(pid),
                               "--name", f"^{title}$"], capture_output=True,
                              text=True).stdout.split()
    # A slow build (the sanitizers') may still be mapping the window.
    ids = wait_for(search, 10)
    if not ids:
        fail(title, "xdotool finds no such window")
        return
    # The window manager may refuse activation from outside: the focus is then set directly.
    xdo("windowactivate", ids[-1])
    xdo("windowfocus", "--sync", ids[-1])
    time.sleep(0.3)


def keys(*sequence):
    for k in sequence:
        xdo("key", "--delay", "60", k)
        time.sleep(0.15)


def tab_to(window, name):
    """Presses Tab until the control named `name` has the focus."""
    for _ in range(40):
        node = focused(window)
        if node is not None and node.name == name:
            return True
        keys("Tab")
    fail(window.name, f"Tab never reaches '{name}'")
    return False


def open_window(pid, title, *sequence, main="OVELA"):
    activate(pid, main)
    keys(*sequence)
    window = frame(pid, title)
    if window is None:
        fail(title, f"{' '.join(sequence)} does not open it")
    return window


def closes_on_escape(pid, window):
    title = window.name
    activate(pid, title)
    keys("Escape")
    if not wait_for(lambda: all(w.name != title for w in frames(pid)), 5):
        fail(title, "Escape does not close it")


def main():
    binary = os.path.abspath(sys.argv[1])
    folder = tempfile.mkdtemp(prefix="ovela-a11y-")
    launcher = subprocess.Popen([LAUNCHER, "--launch-immediately"])
    programs = []
    try:
        time.sleep(1)
        bo_port, ana_port = free_base_port(), free_base_port()
        while ana_port == bo_port:
            ana_port = free_base_port()
        bo = start(binary, f"{folder}/bo", "Name=Bo Smith\nEMail=bo@example.org\nLocation=Oslo",
                   bo_port, f"write:2:127.0.0.1:{ana_port}:Ana Lee:Porto:Hello")
        programs.append(bo)
        main_window = frame(bo.pid, "OVELA")
        if main_window is None:
            fail("OVELA", "the main window never shows on the accessibility bus")
            return
        check(main_window)
        compose = frame(bo.pid, "Send Message")
        if compose is None:
            fail("Send Message", "the scripted quick message window never shows")
        else:
            check(compose)
            closes_on_escape(bo.pid, compose)

        # Every window Bo's menus open, each checked, then closed with Escape.
        for title, sequence in [("Online Directories", ["ctrl+c"]),
                                ("OVELA Properties", ["alt+v", "o"]),
                                ("About OVELA", ["alt+h", "a"]), ("OVELA Log", ["alt+v", "l"]),
                                ("Data Rates", ["ctrl+d"]),
                                ("Connection Doctor", ["alt+h", "d"]), ("OVELA Help", ["F1"])]:
            window = open_window(bo.pid, title, *sequence)
            if window is None:
                continue
            check(window)
            pages = [n for n, _ in walk(window) if n.getRoleName() == "page tab"]
            for tab in range(1, len(pages)):
                activate(bo.pid, title)
                keys("ctrl+Tab")
                check(window, f"{title} (tab {tab + 1})")
            if title == "Online Directories" and tab_to(window, "New Pal"):
                keys("space")
                pal = frame(bo.pid, "New Pal Entry")
                if pal is None:
                    fail(title, "Space on New Pal opens no window")
                else:
                    check(pal)
                    closes_on_escape(bo.pid, pal)
            closes_on_escape(bo.pid, window)

        # Ana leaves Bo a quick message as she starts; then Bo calls her, by keys only.
        ana = start(binary, f"{folder}/ana", "Name=Ana Lee\nEMail=ana@example.org\n"
                    "Location=Porto", ana_port, f"send:1:1:127.0.0.1:{bo_port}:Call me")
        programs.append(ana)
        if frame(ana.pid, "OVELA") is None:
            fail("OVELA", "Ana's main window never shows")
            return
        directory = open_window(bo.pid, "Online Directories", "ctrl+c")
        if directory and tab_to(directory, "Email or IP Address:"):
            xdo("type", "--delay", "40", f"127.0.0.1:{ana_port}")
            keys("Return")
        progress = frame(bo.pid, "Connecting...")
        if progress is not None:
            check(progress)
        incoming = frame(ana.pid, "OVELA Incoming Call...")
        if incoming is None:
            fail("OVELA Incoming Call...", "Ana is never asked")
            return
        check(incoming)
        activate(ana.pid, "OVELA Incoming Call...")
        keys("Return")  # YES is the default button
        if not wait_for(lambda: find(main_window, "Hang up", "push button"), 20):
            fail("OVELA", "the call never starts (no 'Hang up' button)")
            return
        check(main_window, "OVELA (in a call)")
        chat = open_window(bo.pid, "Text Chat - Ana Lee", "ctrl+t")
        if chat is not None:
            check(chat)
            # Tab is typed into the chat pane; Ctrl+Tab leaves it.
            activate(bo.pid, chat.name)
            if tab_to(chat, "Your chat text"):
                keys("ctrl+Tab")
                if wait_for(lambda: focused(chat) and focused(chat).name == "Your chat text", 1):
                    fail(chat.name, "Ctrl+Tab does not leave 'Your chat text'")
            closes_on_escape(bo.pid, chat)
        # Cy calls Ana too, and is turned away: Ana's busy notice shows for a few seconds.
        cy = start(binary, f"{folder}/cy", "Name=Cy Park\nEMail=cy@example.org\nLocation=Lima",
                   free_base_port(), "quit:1", [f"127.0.0.1:{ana_port}"])
        programs.append(cy)
        busy_text = "A Busy signal is being sent to this Person"
        busy = wait_for(lambda: next((w for w in frames(ana.pid) if find(w, busy_text)), None))
        if busy is None:
            fail("OVELA Incoming Call...", "Ana's busy notice never shows")
        else:
            check(busy, "OVELA Incoming Call... (busy)")

        # Talk: Space held on the focused Talk button, as the left button held on it.
        activate(bo.pid, "OVELA")
        if tab_to(main_window, "Talk (hold)"):
            talk = focused(main_window)
            xdo("keydown", "space")
            if not wait_for(lambda: talk.getState().contains(pyatspi.STATE_PRESSED), 5):
                fail("OVELA", "holding Space on Talk does not press it")
            if not wait_for(lambda: find(main_window, "Microphone on"), 5):
                lights = [n.name for n, _ in walk(main_window) if n.name.startswith("Micro")]
                fail("OVELA", f"holding Space on Talk does not talk ({', '.join(lights)})")
            xdo("keyup", "space")
            if not wait_for(lambda: not find(main_window, "Microphone on"), 5):
                fail("OVELA", "letting Space go does not stop talking")
        activate(bo.pid, "OVELA")
        keys("ctrl+h")
        if not wait_for(lambda: find(main_window, "Call", "push button"), 15):
            fail("OVELA", "Ctrl+H does not hang up")

        # The quick message Ana left: Enter on the message light opens it.
        if not wait_for(lambda: find(main_window, "Quick message waiting"), 20):
            fail("OVELA", "Ana's quick message never arrives")
            return
        activate(bo.pid, "OVELA")
        if tab_to(main_window, "Quick message waiting"):
            keys("Return")
            message = frame(bo.pid, "Incoming Message")
            if message is None:
                fail("OVELA", "Enter on the quick message light opens no message")
            else:
                check(message)
                closes_on_escape(bo.pid, message)
    finally:
        for p in programs:
            p.terminate()
        for p in programs:
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                p.kill()
        launcher.terminate()
        launcher.wait()
        if failures:
            for name in ("bo", "ana"):
                path = f"{folder}/{name}/stderr.txt"
                if os.path.exists(path):
                    print(f"--- {name}'s output:\n" + open(path).read()[-2000:])
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
    print(f"{len(failures)} finding(s)")
    sys.exit(1 if failures else 0)
