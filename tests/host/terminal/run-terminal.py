"""The stand-in host at a pseudo-terminal, as a person meets it: the scenario typed at the
`tolvane>` prompt, key by key, each key sent only once the host shows its prompt again.

  - `help` lists every command's syntax, exactly the lines --help lists (one table for both),
    and `help show` says what one does; neither reaches the transcript;
  - Tab completes a command's name (`sh` to `show `), and lists the names a start fits;
  - the up arrow recalls the last line: entered again, it runs again;
  - Ctrl-C drops a half-typed line (`delete ada`: ada is still there), shows ^C and a fresh
    prompt, and the session goes on;
  - an ESC typed into a note (Ctrl-V ESC) is shown as \\x1B, and no raw ESC byte reaches the
    terminal from the transcript;
  - Ctrl-D at an empty prompt ends the session with the usual closing line and exit status 0.
And with standard error not a terminal, the prompt is the plain one, with no line editing.

  run-terminal.py LAUNCHER HOST PLUGIN LIST

LAUNCHER is the build's tolvane-launch, which starts the host natively or under qemu-user."""
import os
import pty
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time

LAUNCHER, HOST, PLUGIN, LIST = (os.path.abspath(a) for a in sys.argv[1:5])
PROMPT = "tolvane> "
failures = []


def fail(what):
    failures.append(what)
    print("FAIL: " + what)


def plain(data):
    """What the terminal showed, as text: lines end in LF, the cursor's moves left out."""
    text = data.decode("utf-8", "replace").replace("\r", "")
    return re.sub(r"\x1b\[[0-9;]*[A-Za-z]", "", text)


class Host:
    """The host at a new pseudo-terminal, in folder `work`; `stderr`: where its standard error
    goes when it is not the terminal."""

    def __init__(self, work, stderr=None):
        env = {"HOME": work, "PATH": "/usr/bin:/bin", "TERM": "xterm", "LC_ALL": "C.UTF-8"}
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.chdir(work)
            if stderr:
                err = os.open(stderr, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
                os.dup2(err, 2)
            os.execve(LAUNCHER, [LAUNCHER, HOST, PLUGIN, "admins.list"], env)
        self.seen = b""
        self.status = None

    def wait_for(self, what, after=0):
        """Reads until the text `what` shows past byte `after` of what the host printed (as
        plain() gives it): False when that takes over 60 s or the terminal closes."""
        deadline = time.monotonic() + 60
        while what not in plain(self.seen[after:]):
            if time.monotonic() > deadline:
                return False
            ready, _, _ = select.select([self.fd], [], [], 0.05)
            if ready:
                try:
                    data = os.read(self.fd, 65536)
                except OSError:
                    return False
                if not data:
                    return False
                self.seen += data
        return True

    def type(self, keys, then=PROMPT):
        """Types `keys`, then waits until the host shows `then`; returns what it printed
        meanwhile, as text."""
        start = len(self.seen)
        os.write(self.fd, keys)
        if not self.wait_for(then, start):
            fail(f"after {keys!r} the host did not show {then!r} within 60 s; it showed "
                 f"{plain(self.seen[start:])!r}")
        return plain(self.seen[start:])

    def finish(self):
        """Reads to the end, and the exit status."""
        self.wait_for("\0")  # never shown: reads until the terminal closes, as the host ends
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                self.status = os.waitstatus_to_exitcode(status)
                return
            time.sleep(0.05)
        os.kill(self.pid, 9)
        os.waitpid(self.pid, 0)
        fail("the host did not end")


def syntax_of_usage():
    """The scenario's commands as --help lists them, a line each."""
    usage = subprocess.run([LAUNCHER, HOST, "--help"], capture_output=True, text=True,
                           check=True).stdout
    lines = usage.split("Scenario commands")[1].split("\n")[2:]
    listed = []
    for line in lines:
        if not line.startswith("  "):
            return listed
        listed.append(line.strip())
    return listed


def expect(got, want, what):
    if got != want:
        fail(f"{what}: got {got!r}, wanted {want!r}")


def session(work):
    host = Host(work)
    if not host.wait_for(PROMPT):
        fail(f"no prompt within 60 s; the host showed {plain(host.seen)!r}")
        return
    start = plain(host.seen)
    expect(start.splitlines()[-2:], ["Type help for the commands; Tab completes a command's name; "
                                     "Ctrl-D ends.", "tolvane> "], "the greeting")

    shown = host.type(b"help\r").splitlines()
    commands = syntax_of_usage()
    expect(shown[0:2], ["help", "Commands (help COMMAND says what one does):"], "help's heading")
    expect([line.strip() for line in shown[2:2 + len(commands) + 1]], commands + ["help [COMMAND]"],
           "help's commands (those of --help, and help)")
    expect(shown[-1], "tolvane> ", "the prompt after help")
    shown = host.type(b"help show\r").splitlines()
    expect(shown[1], "show NAME", "help show")
    expect(shown[2].startswith("  Prints the user's status mask"), True, f"help show said {shown[2]!r}")

    shown = host.type(b"user ada crc=0x5A17C0DE counter=0x6466154F ip=10.1.2.3\r")
    expect("> user ada crc=0x5A17C0DE counter=0x6466154F ip=10.1.2.3\nnoteUserCreation(ada)\n"
           in shown, True, f"the user was not created: {shown!r}")

    host.type(b"sh\t", "ow ")
    shown = host.type(b"ada\r")
    expect("> show ada\n  ada: flags 0x0000, byte 0\n" in shown, True, f"Tab to show: {shown!r}")
    shown = host.type(b"re\t", "\n" + PROMPT + "re")
    expect("remove  rename" in shown, True, f"Tab after re listed {shown!r}")
    # Ctrl-U empties the line; the up arrow recalls the last one, entered again.
    shown = host.type(b"\x15\x1b[A\r")
    expect("> show ada\n  ada: flags 0x0000, byte 0\n" in shown, True, f"the up arrow gave {shown!r}")

    host.type(b"delete ada", "delete ada")
    shown = host.type(b"\x03")  # Ctrl-C
    expect(shown.endswith("^C\ntolvane> "), True, f"Ctrl-C showed {shown!r}")
    expect("noteUserDeletion" in shown, False, "Ctrl-C ran the half-typed line")
    shown = host.type(b"show ada\r")
    expect("> show ada\n  ada: flags 0x0000, byte 0\n" in shown, True,
           f"after Ctrl-C, ada is not there as she was: {shown!r}")

    start = len(host.seen)
    host.type(b"note an \x16\x1b[31mESC\r")  # Ctrl-V ESC: the byte itself
    printed = host.seen[start:].split(b"\n", 1)[1]  # past the line as typed
    expect(b"\x1b" in printed.replace(b"\x1b[K", b""), False, "a raw ESC reached the terminal")
    expect(plain(printed).startswith("-- an \\x1B[31mESC\n"), True, f"the note showed {plain(printed)!r}")

    host.type(b"wait 0\r")  # the list loaded
    host.type(b"logon ada\r")
    shown = host.type(b"enter ada lobby\r")
    expect("[global] Attention on deck! ada has come aboard!" in shown, True,
           f"ada was not recognised: {shown!r}")
    shown = host.type(b"show ada\r")
    expect("  ada: flags 0x0003, byte 2\n" in shown, True, f"show after recognition: {shown!r}")

    host.type(b"\x04", "violation(s)")  # Ctrl-D
    host.finish()
    ending = plain(host.seen).splitlines()
    expect(ending[-1], "end at 0: 1 user(s), 0 violation(s)", "the closing line")
    expect(host.status, 0, "the exit status")


def plain_prompt(work):
    """Standard error in a file: the plain prompt, the lines read as typed, no editing."""
    errors = os.path.join(work, "errors")
    host = Host(work, stderr=errors)
    host.type(b"show ada\r", "show ada")
    host.type(b"note x\r", "-- x")
    os.write(host.fd, b"\x04")
    host.finish()
    with open(errors, encoding="utf-8") as f:
        said = f.read()
    expect(said, "tolvane> <stdin>:1: no user 'ada' (create it with 'user ada')\ntolvane> tolvane> \n",
           "standard error with the plain prompt")
    expect(host.status, 2, "the exit status after bad input")


def main():
    work = tempfile.mkdtemp()
    try:
        shutil.copy(LIST, os.path.join(work, "admins.list"))
        session(work)
        plain_prompt(work)
    finally:
        shutil.rmtree(work)
    if failures:
        print(f"{len(failures)} problem(s)")
        sys.exit(1)
    print("ok: help, completion, history, Ctrl-C, escaped notes and Ctrl-D at the terminal")


main()
