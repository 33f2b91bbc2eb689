"""Reads what ansible-playbook printed (the default callback) and shows, server by server in
server order, what run-playbook.sh compares with playbook.out:

  read-log.py diffs LOG WORK      each diff after the task that showed it (run with --diff and
                                  one fork, so that a diff comes right before its server's result)
  read-log.py verdicts LOG WORK   each failure: the task's or item's message, the tool's exit
                                  status and the errors it reported on standard output

The test's folder WORK is shown as WORK, a temporary copy of the template as TEMPORARY/ and the
candidate a validate step checks as CANDIDATE."""
import json
import re
import sys


def diffs(lines):
    """The diffs of each server, each under the name of its task."""
    shown, task, block = {}, None, None
    for line in lines:
        banner = re.match(r"TASK \[(.*)\] \*+$", line)
        if banner:
            task, block = banner.group(1), None
        elif line.startswith("--- before"):
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


def main():
    what, log, work = sys.argv[1:4]
    with open(log, encoding="utf-8") as f:
        lines = f.read().splitlines()
    found = {"diffs": diffs, "verdicts": verdicts}[what](lines)
    for host in sorted(found):
        for line in found[host]:
            line = re.sub(r"/\S*/ansible-local-[^/]+/tmp[^/]+/", "TEMPORARY/", line)
            print(line.replace(work, "WORK"))


if __name__ == "__main__":
    main()
