#!/usr/bin/python
# -*- coding: utf-8 -*-
# tolvane_record: an Ansible module that adds and revokes one administrator's record in
# Tolvane's list through tolvane-list add and remove --json, in check mode with --dry-run.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: tolvane_record
short_description: Make sure Tolvane's administrator list gives, or no longer gives, a record
description:
  - Adds an administrator's record to the list file Tolvane's plug-in reads, or takes the lines
    that give it out, with C(tolvane-list add) or C(tolvane-list remove) and nothing else.
  - tolvane-list checks the new version as the plug-in reads it, installs it by rename while the
    server runs, keeps the previous version beside the list as C(FILE-), and writes nothing when
    there is nothing to change.
  - In check mode the tool runs with C(--dry-run), which takes no lock and writes nothing, and
    says what would change.
  - Any failure of the tool fails the task with the tool's own message, its options named as
    this module's parameters (C(rseed), not C(--rseed)), among them a change refused because it
    would add an error to the list, a list another change holds for longer than I(wait), and a
    revocation after which a line of the list still recognises the user. A task that fails
    after the list was changed says so (I(changed)) and still returns its diff.
  - Fails with a message of its own when C(tolvane-list) is not on the managed host.
author: Tolvane developers
options:
  path:
    description:
      - The list file, as the server's plug-in is configured with it.
    type: path
    default: /etc/tolvane/admins.list
    aliases: [ dest ]
  state:
    description:
      - C(present) adds the record unless a record the list already loads has these values.
      - C(absent) revokes a person by their seeds (I(rseed), or I(crc) and I(counter); with
        I(pseed) or the PUID values, that PUID only). Every record that recognises them goes,
        from any address, or, with I(addr), within that range. A person is their seeds, so
        C(absent) is exact and idempotent; I(note) is not used with it. It fails, naming the
        line, when a line left still recognises them within the range.
    type: str
    choices: [ absent, present ]
    default: present
  rseed:
    description:
      - The registration seed, decimal or hexadecimal with C(0x). Or give I(crc) and I(counter).
    type: raw
  crc:
    description:
      - The user's registration crc, with I(counter).
    type: raw
  counter:
    description:
      - The user's registration counter, with I(crc).
    type: raw
  pseed:
    description:
      - The PUID seed. Leave it and I(puidctr) out to admit any PUID.
    type: raw
  puidctr:
    description:
      - The user's PUID counter, with I(puidcrc), for a record that admits that PUID alone.
    type: raw
  puidcrc:
    description:
      - The user's PUID crc, with I(puidctr).
    type: raw
  addr:
    description:
      - The address pattern, such as C(10.1.2.3) or C(10.1.*.*). Needed with C(present); with
        C(absent), the range within which the person is revoked (everywhere without it).
    type: str
  note:
    description:
      - Whom the record is for, its note, the comment at the end of its line. Not used with
        I(state=absent), which revokes a person by their seeds.
    type: str
  until:
    description:
      - When the grant ends, with I(state=present) (C(tolvane-list add --until)). The tool
        writes the end into the record's note, in UTC (C(Bo until 2026-12-14T09:00Z)), and
        C(tolvane-list expire) takes the record out once it has ended.
      - Give an absolute time with its zone, such as C(2026-12-14T09:00Z). A task with the same
        end changes nothing, and one with another end gives the record that end. A span such
        as C(+3d) works too, but it gives a new end on every run, so the task is never
        idempotent.
      - When the tool judges the end past (C(until-past)), the grant has ended and the record
        should not be there. The task then takes it out as C(tolvane-list remove) of the same
        seeds and I(addr) does (C(expired)), and changes nothing when it is gone already. The
        module never reads the time itself.
    type: str
  account:
    description:
      - The server's account (a name or an id), trusted with the list; it may own it
        (C(tolvane-list --as)).
    type: str
  wait:
    description:
      - How long to wait, in seconds, for another change of the list to end. C(0) waits as long
        as it takes.
    type: int
    default: 60
  create:
    description:
      - Make the list when it does not exist yet (with I(state=present) only).
    type: bool
    default: false
  break_links:
    description:
      - Install even when the list has other names (hard links), which keep the old table.
    type: bool
    default: false
  allow_empty:
    description:
      - Install a list that gives no record; the plug-in then recognises nobody.
    type: bool
    default: false
  tool:
    description:
      - The tolvane-list program, a path or a name on the PATH (which C(tolvane-list) is
        installed on by the package C(tolvane)).
    type: str
    default: tolvane-list
attributes:
  check_mode:
    support: full
  diff_mode:
    support: full
notes:
  - With C(--diff) the task shows, as Ansible's file modules do, the lines of the list before
    and after the change, under the records it adds (C(+)), takes out (C(-)) or moves (C(~)),
    each as C(tolvane-list diff) shows them (a record's note shows when its grant ends), the
    tool's C(until-set) note when a record there already gets another end, and its summary of
    the table. In check mode the
    lines after are those the change would install.
  - Runs C(tolvane-list) with C(--json) and reads its one document; see C(tolvane-list(1)).
requirements:
  - tolvane-list, of the package C(tolvane), on the managed host
'''

EXAMPLES = r'''
- name: Kay is an administrator, from the operations network
  tolvane_record:
    path: /etc/tolvane/admins.list
    crc: "0x3E71D5A4"
    counter: 366
    addr: "172.16.*.*"
    note: Kay, ops

- name: Nell, with her one PUID, on a list owned by the server's account
  tolvane_record:
    path: /srv/palace/admins.list
    account: palace
    crc: "0x1B2C3D4E"
    counter: 1200
    puidctr: 77
    puidcrc: "0x51"
    addr: "10.20.30.*"
    note: Nell

- name: Linus, who left, is no longer recognised, from any address
  tolvane_record:
    path: /etc/tolvane/admins.list
    state: absent
    rseed: 816

- name: Bo stands in for the weekend, until Monday 09:00 UTC; after that the task takes him out
  tolvane_record:
    path: /etc/tolvane/admins.list
    rseed: 99
    addr: "10.7.*.*"
    note: Bo
    until: "2026-12-14T09:00Z"
'''

RETURN = r'''
outcome:
  description: How the tool's run ended, C(done), C(refused) or C(trouble).
  returned: when the tool ran
  type: str
  sample: done
error:
  description: Why the run failed, as the tool says it, its options named as this module's
    parameters. C(code) says what kind of failure it is (C(usage), C(cannot-read), C(values),
    C(signal), C(failed), else the refusal's own code, such as C(list-owner)).
  returned: when the run failed
  type: dict
  contains:
    code:
      description: The kind of failure.
      type: str
      sample: values
    message:
      description: What went wrong.
      type: str
      sample: "'172.16.4' admits 172.16.4.0 alone: octets left out count 0 (write '172.16.4.0')"
findings:
  description: What the tool found in the list, as C(tolvane-list --json) gives them (C(file),
    C(line), C(column), C(severity), C(code), C(message), and C(already) for one the list had
    before this change).
  returned: when the tool ran
  type: list
  elements: dict
  sample: []
summary:
  description: What the change does to the table, as C(tolvane-list diff) sums it up.
  returned: when the list changes, or would in check mode
  type: str
  sample: "1 added, 0 removed, 0 moved; 3 records before, 4 after; who gains: 1 record's users; who loses: none"
note:
  description: Why nothing changes.
  returned: when the list stays as it is
  type: str
  sample: no line gives this record
missed:
  description: The records a revocation left that still recognise whom it names, or that come
    close when nothing matched, each with its reason, as C(tolvane-list --json) gives them.
  returned: when a revocation fails for them
  type: list
  elements: dict
changes:
  description: The records added, removed or moved, as C(tolvane-list --json) gives them.
  returned: when the list changes, or would in check mode
  type: list
  elements: dict
previous:
  description: Where the tool kept the list's previous version.
  returned: when a change was installed and its previous version kept
  type: str
  sample: /etc/tolvane/admins.list-
expired:
  description: Whether the grant named by I(until) had ended, so that the task ran
    C(tolvane-list remove) of the record instead of C(add).
  returned: when I(until) is given with I(state=present) and the tool judges it past
  type: bool
  sample: true
installed:
  description: Whether a new version of the list was installed.
  returned: when the tool ran
  type: bool
dry_run:
  description: Whether the tool ran with C(--dry-run) (check mode).
  returned: when the tool ran
  type: bool
diff:
  description:
    - With C(--diff), when the list changes (or would), also when the task fails after it
      changed. First the records' summary (C(prepared)), then the list's text before and after.
  returned: when the list changes in diff mode
  type: list
  elements: dict
  contains:
    prepared:
      description: The records added, taken out and moved, and the summary, as
        C(tolvane-list diff) shows them (the first element).
      type: str
    before:
      description: The list's text before the change (the second element).
      type: str
    after:
      description: The list's text after the change, or that the change would install.
      type: str
    before_header:
      description: The list's path.
      type: str
    after_header:
      description: The list's path.
      type: str
cmd:
  description: The tool's command line.
  returned: when the tool ran
  type: list
  elements: str
  sample: [/usr/bin/tolvane-list, add, /etc/tolvane/admins.list, --json, --wait=60, --rseed, "53", --addr, "10.1.*.*"]
rc:
  description: The tool's exit status.
  returned: when the tool ran
  type: int
stdout:
  description: What the tool printed on standard output (its JSON document).
  returned: when the tool ran
  type: str
stderr:
  description: What the tool printed on standard error.
  returned: when the tool ran
  type: str
'''

import json
import os
import re

from ansible.module_utils.basic import AnsibleModule
from ansible.module_utils.common.text.converters import to_text

# The record's values, in the order tolvane-list's options take them.
VALUES = ('rseed', 'crc', 'counter', 'pseed', 'puidctr', 'puidcrc', 'addr', 'note', 'until')

# The tool's options as this module's parameters; a flag's is the parameter set to true.
PARAMETERS = dict([('--' + v, v) for v in VALUES] + [
    ('--as', 'account'), ('--wait', 'wait'), ('--create', 'create=true'),
    ('--break-links', 'break_links=true'), ('--allow-empty', 'allow_empty=true'),
    ('--dry-run', 'check mode')])
OPTION = re.compile(r'(?<![\w-])(%s)(?![\w-])' % '|'.join(
    re.escape(o) for o in sorted(PARAMETERS, key=len, reverse=True)))

MISSING_TOOL = '%s not found on the managed host (install the tolvane package)'


def in_module_terms(text):
    """The tool's words with its options named as the module's parameters."""
    return OPTION.sub(lambda m: PARAMETERS[m.group(1)], text)


def find_tool(module):
    """The tool's path on the managed host; fails the task with a plain message without it."""
    tool = module.params['tool']
    found = module.get_bin_path(os.path.abspath(tool) if '/' in tool else tool)
    if found is None:
        module.fail_json(msg=MISSING_TOOL % tool, changed=False)
    return found


def value_options(module, command):
    """The record's values as the options of the tool's command (add or remove)."""
    p = module.params
    argv = []
    for name in VALUES:
        # A revocation names a person by their seeds: a note would only narrow it.
        if name in ('note', 'until') and command == 'remove':
            continue
        if p[name] is not None:
            argv += ['--' + name, to_text(p[name])]
    return argv


def tool_argv(module, tool, command):
    """The tool's command line (add or remove) for the module's arguments."""
    p = module.params
    argv = [tool, command, p['path'], '--json', '--wait=%d' % p['wait']]
    if p['account'] is not None:
        argv += ['--as', p['account']]
    if p['create'] and command == 'add':
        argv.append('--create')
    if p['break_links']:
        argv.append('--break-links')
    if p['allow_empty']:
        argv.append('--allow-empty')
    if module.check_mode:
        argv.append('--dry-run')
    return argv + value_options(module, command)


def read_document(stdout):
    """The tool's one JSON document, or {} when it printed none."""
    try:
        document = json.loads(stdout)
    except ValueError:
        return {}
    return document if isinstance(document, dict) else {}


def record_line(record):
    """One record as tolvane-list diff shows it, without the file's name."""
    pseed = 'any' if record['pSeed'] == 0 else str(record['pSeed'])
    line = 'slot %d: registration seed %d, PUID seed %s, %s to %s' % (
        record['slot'], record['rSeed'], pseed, record['ipMin'], record['ipMax'])
    if record.get('comment'):
        line += '   # ' + record['comment']
    return line


def change_line(change):
    """A change of the table as tolvane-list diff shows it: + added, - removed, ~ moved."""
    before, after = change.get('before'), change.get('after')
    if change.get('kind') == 'added':
        return '+ line %d: %s' % (after['line'], record_line(after))
    if change.get('kind') == 'removed':
        return '- line %d: %s' % (before['line'], record_line(before))
    return '~ line %d: %s, was slot %d (line %d)' % (
        after['line'], record_line(after), before['slot'], before['line'])


def list_diff(path, document, before, after):
    """Ansible's diff: the records' changes and summary, then the list's lines before and after
    (none when the text after is not known)."""
    prepared = ''.join(change_line(c) + '\n' for c in document.get('changes') or [])
    # A record given another end stays in the table: the tool's note says which end it has now.
    prepared += ''.join('%s: %s\n' % (f['code'], f.get('message', ''))
                        for f in document.get('findings') or [] if f.get('code') == 'until-set')
    if document.get('summary'):
        prepared += '%s: %s\n' % (path, document['summary'])
    diff = [dict(prepared=prepared)] if prepared else []
    if after is not None:
        diff.append(dict(before=before, after=after, before_header=path, after_header=path))
    return diff


def failure_message(document, stderr, rc):
    """What the tool said went wrong, as it says it on standard error, in the module's terms."""
    error = document.get('error')
    if isinstance(error, dict) and error.get('message'):
        if document.get('outcome') == 'refused':
            where = document.get('file') or 'tolvane-list'
            said = '%s: error: %s [%s]' % (where, error['message'], error.get('code', 'failed'))
        else:
            said = 'tolvane-list: ' + error['message']
    else:
        said = stderr.strip() or 'tolvane-list failed (exit status %d) and said nothing' % rc
    return in_module_terms(said)


def run_tool(module, tool, command):
    """Runs the tool's command (add or remove) for the module's arguments: the task's result
    and the tool's document."""
    path = module.params['path']
    argv = tool_argv(module, tool, command)
    rc, stdout, stderr = module.run_command(argv)
    document = read_document(stdout)
    installed = bool(document.get('installed'))
    dry_run = bool(document.get('dryRun', module.check_mode))
    # A real run changed the list when it installed a new version; a dry run, when it would.
    result = dict(cmd=argv, rc=rc, stdout=stdout, stderr=stderr,
                  changed=bool(document.get('changed')) and (installed or dry_run),
                  installed=installed, dry_run=dry_run, findings=document.get('findings', []))
    if 'outcome' in document:
        result['outcome'] = document['outcome']
    for key in ('summary', 'note', 'missed', 'changes', 'previous'):
        if document.get(key):
            result[key] = document[key]
    # The list's text before and after, as the tool read it and installed it (or would).
    text = document.get('text')
    if module._diff and result['changed'] and isinstance(text, dict):
        result['diff'] = list_diff(path, document, text.get('before', ''), text.get('after'))
    return result, document


def finish(module, result, document):
    """Warns of what the tool's run did beside the change, and ends the task with its result:
    failed when the tool failed."""
    path = module.params['path']
    for f in document.get('findings', []):
        if f.get('severity') in ('error', 'warning'):
            where = f.get('file', path) + (':%d' % f['line'] if f.get('line') else '')
            module.warn(in_module_terms('%s: %s: %s [%s]' % (
                where, f['severity'], f.get('message', ''), f.get('code', ''))))
    for said in document.get('repaired', []):
        module.warn('put right first: ' + said)
    for key, text in (('notLogged', 'the change is not in the system log: %s'),
                      ('journalTrouble', "the change's journal: %s")):
        if document.get(key):
            module.warn(text % document[key])
    rc = result['rc']
    if rc != 0 or document.get('outcome', 'done') != 'done':
        if isinstance(document.get('error'), dict):
            result['error'] = dict(document['error'])
            result['error']['message'] = in_module_terms(document['error'].get('message', ''))
        module.fail_json(msg=failure_message(document, result['stderr'], rc), **result)
    if not document:
        module.fail_json(msg='tolvane-list printed no JSON document', **result)
    module.exit_json(**result)


def main():
    module = AnsibleModule(
        argument_spec=dict(
            path=dict(type='path', default='/etc/tolvane/admins.list', aliases=['dest']),
            state=dict(type='str', default='present', choices=['absent', 'present']),
            rseed=dict(type='raw'),
            crc=dict(type='raw'),
            counter=dict(type='raw'),
            pseed=dict(type='raw'),
            puidctr=dict(type='raw'),
            puidcrc=dict(type='raw'),
            addr=dict(type='str'),
            note=dict(type='str'),
            until=dict(type='str'),
            account=dict(type='str'),
            wait=dict(type='int', default=60),
            create=dict(type='bool', default=False),
            break_links=dict(type='bool', default=False),
            allow_empty=dict(type='bool', default=False),
            tool=dict(type='str', default='tolvane-list'),
        ),
        mutually_exclusive=[('rseed', 'crc'), ('rseed', 'counter'), ('pseed', 'puidctr'),
                            ('pseed', 'puidcrc')],
        required_together=[('crc', 'counter'), ('puidctr', 'puidcrc')],
        required_if=[('state', 'present', ('addr',)),
                     ('state', 'present', ('rseed', 'crc'), True),
                     ('state', 'absent', ('rseed', 'crc'), True)],
        supports_check_mode=True,
    )
    tool = find_tool(module)
    command = 'add' if module.params['state'] == 'present' else 'remove'
    result, document = run_tool(module, tool, command)
    # A grant whose end the tool judges past has ended: its record should not be there.
    error = document.get('error')
    if command == 'add' and isinstance(error, dict) and error.get('code') == 'until-past':
        result, document = run_tool(module, tool, 'remove')
        result['expired'] = True
    finish(module, result, document)


if __name__ == '__main__':
    main()
