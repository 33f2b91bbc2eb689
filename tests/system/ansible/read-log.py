"""Reads what ansible-playbook printed (the default callback) and shows, server by server in
server order, what run-playbook.sh compares with playbook.out:

  read-log.py diffs LOG WORK      each diff after the task that showed it (run with --diff and
                                  one fork, so that a diff comes right before its server's result)
  read-log.py verdicts LOG WORK   each failure: the task's or item's message, the tool's exit
                                  status and the errors it reported on standard output
  read-log.py cases LOG WORK      from a run with the json callback: the stats, then each task
                                  with its message (or its note), exit status and diff (as
                                  ansible shows a diff: the texts before and after, then what
                                  is prepared), with (expired) when the module found the
                                  grant ended
  read-log.py keys LOG DOC        from a run with the json callback: each key a result has that
                                  the module's RETURN (DOC, from ansible-doc --json) leaves out

The test's folder WORK is shown as WORK, a temporary copy of the template as TEMPORARY/ and the
candidate a validate step checks as CANDIDATE."""
import difflib
import json
import re
import sys


def diffs(lines):
    """The diffs of each server, each under the name of its task: what a module prepared (a
    change of records, + - or ~, first) and the texts before and after."""
    shown, task, block = {}, None, None
    for line in lines:
        banner = re.match(r"TASK \[(.*)\] \*+$", line)
        if banner:
            task, block = banner.group(1), None
        elif block is None and re.match(r"--- before|[-+~] line \d+: ", line):
            block = [line]
        elif block is not None:
            result = re.match(r"(changed|ok): \[(\w+)\]", line)
            if result:
                shown.setdefault(result.group(2), []).append(f"  {task}:")
                shown[result.group(2)] += ["    " + b for b in block if b]
                block = None
            else:
                block.append(line)
    return {host: [f"{host}: diff"] + shown[host] for host in shown}


def verdicts(lines):
    """The failures of each server: message and exit status, then the errors reported."""
    failed = {}
    pattern = r"(?:fatal: \[(\w+)\]: FAILED!|failed: \[(\w+)\] \(item=.*\)) => (\{.*\})$"
    for line in lines:
        m = re.match(pattern, line)
        if m:
            host, result = m.group(1) or m.group(2), json.loads(m.group(3))
            status = result.get("exit_status", result.get("rc"))
            errors = [re.sub(r"^\S*/source:", "CANDIDATE:", e)
                      for e in result.get("stdout_lines", []) if ": error: " in e]
            failed.setdefault(host, []).extend(
                [f"{host}: {result.get('msg')}, exit {status}"] + ["  " + e for e in errors])
    return failed


def results(lines):
    """Each task's result from the json callback's document, as (server, task, result)."""
    document = json.loads("\n".join(lines))
    for play in document["plays"]:
        for task in play["tasks"]:
            for host, result in task["hosts"].items():
                yield host, task["task"]["name"], result


def shown_diff(diff):
    """A diff a module returned, as ansible's default callback shows it."""
    shown = []
    for part in diff if isinstance(diff, list) else [diff]:
        if "before" in part and "after" in part:
            shown += difflib.unified_diff(
                part["before"].splitlines(True), part["after"].splitlines(True),
                "before: " + part["before_header"], "after: " + part["after_header"], "", "")
        shown += part.get("prepared", "").splitlines(True)
    return [line.rstrip("\n") for line in shown]


def cases(lines):
    """Each server's stats, then each task's message, exit status and diff."""
    shown = {}
    for host, stats in json.loads("\n".join(lines))["stats"].items():
        shown[host] = [f"{host}: " + " ".join(f"{k}={v}" for k, v in sorted(stats.items()))]
    for host, task, result in results(lines):
        status = f", exit {result['rc']}" if "rc" in result else ""
        said = result.get("msg") if result.get("failed") else \
            "changed" if result.get("changed") else f"ok: {result.get('note')}"
        if result.get("expired"):
            said += " (expired)"
        shown[host] += [f"  {task}:", f"    {said}{status}"]
        shown[host] += ["      " + d for d in shown_diff(result.get("diff", []))]
    return shown


# What ansible adds to every module's result.
ANSIBLE_KEYS = {"action", "changed", "failed", "msg", "invocation", "warnings", "deprecations",
                "stdout_lines", "stderr_lines", "item", "ansible_loop_var"}


def keys(lines, doc):
    """The keys of each result that the module's RETURN leaves out."""
    with open(doc, encoding="utf-8") as f:
        documented = set(json.load(f)["tolvane_record"]["return"]) | ANSIBLE_KEYS
    found = {}
    for host, task, result in results(lines):
        extra = sorted(k for k in result if not k.startswith("_ansible") and k not in documented)
        if extra:
            found.setdefault(host, []).append(f"{host}: {task}: not in RETURN: {', '.join(extra)}")
    return found


def main():
    what, log, work = sys.argv[1:4]
    with open(log, encoding="utf-8") as f:
        lines = f.read().splitlines()
    if what == "keys":
        found = keys(lines, work)
    else:
        found = {"diffs": diffs, "verdicts": verdicts, "cases": cases}[what](lines)
    for host in sorted(found):
        for line in found[host]:
            line = re.sub(r"/\S*/ansible-local-[^/]+/tmp[^/]+/", "TEMPORARY/", line)
            print(line.replace(work, "WORK"))


if __name__ == "__main__":
    main()
