"""bash's completion of tolvane-list, at a pseudo-terminal as an operator meets it: real bash,
real readline, the words split as readline splits them. Each case types a command line, asks
readline to insert every completion (insert-completions, M-*), and has bash print the words of
the line that results. It runs in two shells: bash with the completion file sourced, and bash
with bash-completion, which loads the file itself from its completions folder.

  - every subcommand the tool's --help lists is offered, and for each subcommand exactly the
    options its own --help names (so a new option that completion does not offer fails here);
  - an option with a fixed set of values (--fail-on error|warning:{error,warning}) completes its
    values after '=' and after a space: --fail-on=e to --fail-on=error;
  - file names only where a file belongs: never after `remove FILE` (line numbers), after an
    option's value (--wait=SECONDS, --crc), or for decode's letters; after a bare --wait, whose
    seconds come only after '=', the list;
  - options come from the tool itself: a stand-in tool whose --help names a new option and a
    new set gets both completed, with the completion file unchanged.

  run-completion.py COMPLETION-FILE TOLVANE-LIST [LAUNCHER]

With LAUNCHER (the build's tolvane-launch), the tool is started through it, as under qemu-user
where the kernel runs no programs of the build's kind."""
import os
import pty
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time

COMPLETION, TOOL = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
LAUNCHER = os.path.abspath(sys.argv[3]) if len(sys.argv) > 3 else None
BASH_COMPLETION = "/usr/share/bash-completion/bash_completion"
failures = []


def fail(what):
    failures.append(what)
    print("FAIL: " + what)


class Shell:
    """An interactive bash at a pseudo-terminal, in folder `cwd`, with PATH starting at `bin`."""

    def __init__(self, work, name, bin_dir, cwd, with_bash_completion):
        self.work, self.name, self.asked = work, name, 0
        home = os.path.join(work, "home-" + name)
        os.makedirs(home)
        inputrc = os.path.join(home, "inputrc")
        with open(inputrc, "w", encoding="utf-8") as f:
            f.write('set bell-style none\nset page-completions off\n"\\e*": insert-completions\n')
        rc = os.path.join(home, "bashrc")
        with open(rc, "w", encoding="utf-8") as f:
            f.write("PS1='$ '\n")
            if with_bash_completion:
                # bash-completion loads tolvane-list's completion from the user's folder.
                user = os.path.join(home, "bash-completion", "completions")
                os.makedirs(user)
                shutil.copy(COMPLETION, os.path.join(user, "tolvane-list"))
                f.write(f"export BASH_COMPLETION_USER_DIR='{os.path.dirname(user)}'\n")
                f.write(f". '{BASH_COMPLETION}'\n")
            else:
                f.write(f". '{COMPLETION}'\n")
        env = {"HOME": home, "PATH": bin_dir + ":/usr/bin:/bin", "TERM": "dumb",
               "INPUTRC": inputrc, "LC_ALL": "C.UTF-8"}
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.chdir(cwd)
            os.execve("/bin/bash", ["bash", "--noprofile", "--rcfile", rc, "-i"], env)
        self.prompted()

    def prompted(self, done=lambda: True):
        """Reads what bash prints until `done()` holds and bash shows its prompt again, so that
        nothing is typed before readline reads it. False when that takes over 60 s."""
        seen = b""
        deadline = time.monotonic() + 60
        while not (done() and seen.endswith(b"$ ")):
            if time.monotonic() > deadline:
                return False
            ready, _, _ = select.select([self.fd], [], [], 0.05)
            if ready:
                try:
                    seen += os.read(self.fd, 65536)
                except OSError:
                    return False
        return True

    def offers(self, line):
        """The words readline inserts for the last (partial) word of `line`, as bash prints them."""
        self.asked += 1
        result = os.path.join(self.work, f"offers-{os.getpid()}-{id(self)}-{self.asked}")
        # Type the line, insert the completions, go to the line's start, make it a printf.
        keys = (line + "\x1b*" + "\x01" + "printf '%s\\n' " + "\x05"
                + f" >{result}.tmp && mv {result}.tmp {result}\r")
        os.write(self.fd, keys.encode())
        if not self.prompted(lambda: os.path.exists(result)):
            fail(f"bash printed no line for {line!r} within 60 s")
            return None
        with open(result, encoding="utf-8") as f:
            words = f.read().split("\n")[:-1]
        typed = line.split(" ")
        complete = len(typed) - 1  # the words before the one being completed
        if words[:complete] != typed[:complete]:
            fail(f"{self.name}: the line {line!r} became {words}")
            return None
        # The words in place of the partial one: itself when nothing was offered.
        rest = words[complete:]
        return [] if rest == [""] else rest

    def drain(self, seconds):
        ready, _, _ = select.select([self.fd], [], [], seconds)
        if ready:
            try:
                os.read(self.fd, 65536)
            except OSError:
                pass

    def close(self):
        os.write(self.fd, b"exit\r")
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            pid, _ = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                return
            self.drain(0.05)
        os.kill(self.pid, 9)
        os.waitpid(self.pid, 0)


def help_of(tool, *words):
    return subprocess.run([tool, *words, "--help"], capture_output=True, text=True, check=False).stdout


def section(text, name):
    """The lines of one section of a CLI help (Options:, Subcommands:)."""
    lines, inside = [], False
    for line in text.splitlines():
        if re.fullmatch(r"[A-Z][a-z]+:", line):
            inside = line == name + ":"
        elif inside:
            lines.append(line)
    return lines


def expect(shell, line, want, what):
    """Fails unless completing `line` offers exactly `want`: after --opt=, the values alone."""
    got = shell.offers(line)
    if got is None:
        return
    partial = line.split(" ")[-1]
    if "=" in partial and got and got[0].startswith(partial[:partial.index("=") + 1]):
        got = [got[0][partial.index("=") + 1:]] + got[1:]
    if sorted(got) != sorted(want):
        fail(f"{shell.name}: {what}: `{line}<TAB>` offers {sorted(got)}, not {sorted(want)}")


def check_shell(shell, tool, folder_files):
    top = help_of(tool)
    subcommands = [m.group(1) for line in section(top, "Subcommands")
                   if (m := re.match(r"\s+([a-z][a-z0-9-]*)(\s|$)", line))]
    if not subcommands:
        fail(f"tolvane-list --help lists no subcommand:\n{top}")
    expect(shell, "tolvane-list ", subcommands, "the subcommands --help lists")
    expect(shell, "tolvane-list -", sorted(set(re.findall(r"--[a-z][a-z0-9-]*", top))), "the options")
    for sub in subcommands:
        text = help_of(tool, sub)
        # Every option the help names, wherever it names it.
        options = sorted(set(re.findall(r"--[a-z][a-z0-9-]*", text)))
        got = shell.offers(f"tolvane-list {sub} --")
        if got is None:
            continue
        for option in options:
            if option not in got:
                fail(f"{shell.name}: `tolvane-list {sub} --help` lists {option}; completion does not offer it")
        for option in got:
            if option not in options:
                fail(f"{shell.name}: completion offers {option} for {sub}; its --help does not list it")
        # Every option with a fixed set of values, as the help shows it: --opt X|Y:{x,y}.
        for line in section(text, "Options"):
            m = re.match(r"\s+(--[a-z][a-z0-9-]*) \S*:\{([^}]*)\}", line)
            if m:
                values = m.group(2).split(",")
                expect(shell, f"tolvane-list {sub} {m.group(1)}=", values, f"the values of {m.group(1)}")
                expect(shell, f"tolvane-list {sub} {m.group(1)} ", values, f"the values of {m.group(1)}")
    # What operators tried and found wanting, exactly.
    expect(shell, "tolvane-list check --con", ["--content-only"], "check's --content-only")
    got = shell.offers("tolvane-list check --fail-on=e")
    if got is not None and got != ["--fail-on=error"]:
        fail(f"{shell.name}: `tolvane-list check --fail-on=e<TAB>` gives {got}, not --fail-on=error")
    expect(shell, "tolvane-list check --fail-on=", ["error", "warning"], "--fail-on=")
    # Files where a file belongs, and nowhere else.
    lists = sorted(f for f in folder_files if f.startswith("admins"))
    expect(shell, "tolvane-list check adm", lists, "check's files")
    expect(shell, "tolvane-list check --fail-on=error adm", lists, "check's files after --fail-on=error")
    expect(shell, "tolvane-list remove adm", lists, "remove's list")
    expect(shell, "tolvane-list undo adm", lists, "undo's list")
    undo = sorted(set(re.findall(r"--[a-z][a-z0-9-]*", help_of(tool, "undo"))))
    expect(shell, "tolvane-list undo admins.list ", undo, "undo, which takes one list, then options")
    expect(shell, "tolvane-list diff admins.list adm", lists, "diff's second file")
    expect(shell, "tolvane-list remove admins.list ", [], "remove's line numbers")
    expect(shell, "tolvane-list remove admins.list 3 ", [], "remove's line numbers")
    expect(shell, "tolvane-list remove --wait adm", lists, "the list after a bare --wait")
    expect(shell, "tolvane-list add --wait=5 admins.list --crc ", [], "--crc's value")
    expect(shell, "tolvane-list match --crc ", [], "--crc's value")
    expect(shell, "tolvane-list decode ", [], "decode's letters")
    encode = sorted(set(re.findall(r"--[a-z][a-z0-9-]*", help_of(tool, "encode"))))
    expect(shell, "tolvane-list encode ", encode, "encode, which takes no file")
    expect(shell, "tolvane-list check --as roo", ["root"], "--as's accounts")


def launched_tool(work):
    """TOOL itself, or a script in `work` that starts it through LAUNCHER."""
    if LAUNCHER is None:
        return TOOL
    path = os.path.join(work, "launched-tolvane-list")
    with open(path, "w", encoding="utf-8") as f:
        f.write(f'#!/bin/sh\nexec "{LAUNCHER}" "{TOOL}" "$@"\n')
    os.chmod(path, 0o755)
    return path


def main():
    global TOOL
    work = tempfile.mkdtemp()
    try:
        TOOL = launched_tool(work)
        bin_dir = os.path.join(work, "bin")
        os.makedirs(bin_dir)
        os.symlink(TOOL, os.path.join(bin_dir, "tolvane-list"))
        # A list's folder, as changes leave it: the list, its previous version, its lock.
        folder = os.path.join(work, "lists")
        os.makedirs(os.path.join(folder, "zones"))
        folder_files = ["admins.list", "admins.list-", ".admins.list.lock"]
        for name in folder_files:
            open(os.path.join(folder, name), "w", encoding="utf-8").close()
        if not os.path.exists(BASH_COMPLETION):
            fail(f"no {BASH_COMPLETION}: install bash-completion (scripts/setup)")
        for name, with_bash_completion in (("sourced", False), ("bash-completion", True)):
            shell = Shell(work, name, bin_dir, folder, with_bash_completion)
            try:
                check_shell(shell, TOOL, folder_files)
            finally:
                shell.close()

        # A tool with an option and a set of values that no version had: completed all the same.
        stand_in = os.path.join(work, "stand-in")
        os.makedirs(stand_in)
        with open(os.path.join(stand_in, "tolvane-list"), "w", encoding="utf-8") as f:
            f.write(f"""#!/bin/sh
"{TOOL}" "$@"
status=$?
if [ "$1" = check ] && [ "$2" = --help ]; then
  echo '  --brand-new TEXT            an option added after the completion was written'
  echo '  --colour auto|never:{{auto,never}}'
fi
exit $status
""")
        os.chmod(os.path.join(stand_in, "tolvane-list"), 0o755)
        shell = Shell(work, "stand-in", stand_in, folder, False)
        try:
            got = shell.offers("tolvane-list check --")
            if got is not None and "--brand-new" not in got:
                fail(f"a new option in check's --help is not offered: {got}")
            expect(shell, "tolvane-list check --colour=", ["auto", "never"], "a new option's set")
            expect(shell, "tolvane-list check --brand-new ", [], "a new option's value")
        finally:
            shell.close()
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print(f"{len(failures)} problem(s)")
        sys.exit(1)
    print("ok: tolvane-list's completion offers what --help lists, in both shells")


if __name__ == "__main__":
    main()
