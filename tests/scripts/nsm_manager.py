#!/usr/bin/python3
"""Plays a New Session Manager for one Kelvora with a window, over OSC on UDP written here from
the protocol (no OSC library): the announcement, opening a session whose directory holds a
rack, saving it without a dialog, dirty and clean, hiding and showing the window, and SIGTERM
ending the program.

    nsm_manager.py PROGRAM WORKDIR RACK.mst
The JACK server is the one JACK_DEFAULT_SERVER names; DISPLAY is an X display of the test's."""
import os
import shutil
import signal
import socket
import struct
import subprocess
import sys
import time

program, work, rack = sys.argv[1:4]


def pad(data):
    return data + b"\0" * (-len(data) % 4)


def message(path, *args):
    types = "," + "".join("i" if isinstance(a, int) else "s" for a in args)
    body = b"".join(struct.pack(">i", a) if isinstance(a, int) else pad(a.encode() + b"\0")
                    for a in args)
    return pad(path.encode() + b"\0") + pad(types.encode() + b"\0") + body


def parse(data):
    def text(at):
        end = data.index(b"\0", at)
        return data[at:end].decode(), (end + 4) & ~3
    path, at = text(0)
    types, at = text(at)
    args = []
    for t in types[1:]:
        if t == "i":
            args.append(struct.unpack(">i", data[at:at + 4])[0])
            at += 4
        elif t == "f":
            args.append(struct.unpack(">f", data[at:at + 4])[0])
            at += 4
        else:
            value, at = text(at)
            args.append(value)
    return path, args


sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
sock.bind(("127.0.0.1", 0))
url = "osc.udp://127.0.0.1:%d/" % sock.getsockname()[1]
stderr = open(os.path.join(work, "stderr"), "w")
proc = subprocess.Popen([program, "-a", "jack"], stdin=subprocess.DEVNULL, stderr=stderr,
                        stdout=subprocess.DEVNULL, env=dict(os.environ, NSM_URL=url, HOME=work))
client = None


def fail(why):
    if proc.poll() is None:
        proc.kill()
    sys.exit("FAIL: " + why)


def expect(path, seconds=20, first=None):
    """The next message with this path (others are noted and skipped)."""
    global client
    deadline = time.time() + seconds
    while time.time() < deadline:
        sock.settimeout(max(deadline - time.time(), 0.01))
        try:
            data, client = sock.recvfrom(65536)
        except socket.timeout:
            break
        got, args = parse(data)
        if got == path and (first is None or args[:1] == [first]):
            return args
        print("noted", got, args)
    fail("no %s %s within %d s" % (path, first or "", seconds))


def send(path, *args):
    sock.sendto(message(path, *args), client)


def window_visible():
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--class", "kelVora"],
                           capture_output=True, text=True).stdout.split()
    return bool(found)


def wait_for(test, seconds=5):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if test():
            return True
        time.sleep(0.1)
    return False


name, capabilities, executable, major, minor, pid = expect("/nsm/server/announce")
if (name, capabilities, major, minor, pid) != ("Kelvora", ":switch:dirty:optional-gui:", 1, 2,
                                               proc.pid):
    fail("announcement %r" % [name, capabilities, executable, major, minor, pid])
send("/reply", "/nsm/server/announce", "Howdy", "Test manager", ":server-control:")
expect("/nsm/client/gui_is_shown")

# Open: the session's rack is loaded and the JACK client takes the client id as its name.
session = os.path.join(work, "session", "Kelvora.nTEST")
os.makedirs(session)
shutil.copy(rack, os.path.join(session, "rack.mst"))
send("/nsm/client/open", session, "Kelvora", "Kelvora.nTEST")
expect("/reply", first="/nsm/client/open")
expect("/nsm/client/is_clean")
ports = lambda: subprocess.run(["jack_lsp"], capture_output=True, text=True).stdout.split("\n")
if not wait_for(lambda: "Kelvora.nTEST:out_1" in ports() and "Kelvora.nTEST:midi_in" in ports()):
    fail("no JACK ports named after the client id: %r" % ports())

# Save writes the rack, as it was loaded, without a dialog.
os.remove(os.path.join(session, "rack.mst"))
send("/nsm/client/save")
expect("/reply", first="/nsm/client/save")
saved = open(os.path.join(session, "rack.mst")).read()
if saved != open(rack).read():
    fail("the saved rack differs from the session's:\n" + saved)

# File -> Clear (Ctrl+N) changes the rack: dirty, until the next save.
window = subprocess.run(["xdotool", "search", "--onlyvisible", "--class", "kelVora"],
                        capture_output=True, text=True).stdout.split()[0]
subprocess.run(["xdotool", "windowfocus", "--sync", window, "key", "ctrl+n"])
expect("/nsm/client/is_dirty", 5)
if open(os.path.join(session, "rack.mst")).read() != saved:
    fail("the session's rack was written before the manager said save")
send("/nsm/client/save")
expect("/reply", first="/nsm/client/save")
expect("/nsm/client/is_clean", 5)
if not open(os.path.join(session, "rack.mst")).read().startswith("kelvora-state 0"):
    fail("the cleared rack was not saved")

# Hide and show.
send("/nsm/client/hide_optional_gui")
expect("/nsm/client/gui_is_hidden", 5)
if not wait_for(lambda: not window_visible()):
    fail("the window is still shown")
send("/nsm/client/show_optional_gui")
expect("/nsm/client/gui_is_shown", 5)
if not wait_for(window_visible):
    fail("the window did not come back")

# SIGTERM ends it, without a question and without touching the session's file.
before = open(os.path.join(session, "rack.mst")).read()
proc.send_signal(signal.SIGTERM)
try:
    status = proc.wait(5)
except subprocess.TimeoutExpired:
    fail("the program did not end on SIGTERM")
if status != 0:
    fail("exit status %d" % status)
if open(os.path.join(session, "rack.mst")).read() != before:
    fail("quitting wrote the session's rack")
print("PASS")
