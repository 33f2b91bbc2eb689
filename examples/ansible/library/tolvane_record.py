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
  - Any failure of the tool fails the task with the tool's own message, among them a change
    refused because it would add an error to the list, a list another change holds for longer
    than I(wait), and a revocation after which a line of the list still recognises the user.
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
        I(pseed) or the PUID values, that PUID only): every record that recognises them goes,
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
      - Whom the record is for, its note: the comment at the end of its line. Not used with
        I(state=absent), which revokes a person by their seeds.
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
      - The tolvane-list program, a path or a name on the PATH.
    type: str
    default: tolvane-list
attributes:
  check_mode:
    support: full
  diff_mode:
    support: full
notes:
  - The diff shows the records the change takes out (before) and adds (after), each as
    C(tolvane-list diff) shows it.
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
'''

RETURN = r'''
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
installed:
  description: Whether a new version of the list was installed.
  returned: always
  type: bool
dry_run:
  description: Whether the tool ran with C(--dry-run) (check mode).
  returned: always
  type: bool
cmd:
  description: The tool's command line.
  returned: always
  type: list
  elements: str
  sample: [/usr/bin/tolvane-list, add, /etc/tolvane/admins.list, --json, --wait=60, --rseed, "53", --addr, "10.1.*.*"]
rc:
  description: The tool's exit status.
  returned: always
  type: int
stdout:
  description: What the tool printed on standard output (its JSON document).
  returned: always
  type: str
stderr:
  description: What the tool printed on standard error.
  returned: always
  type: str
'''

import json

from ansible.module_utils.basic import AnsibleModule
from ansible.module_utils.common.text.converters import to_text

# The record's values, in the order tolvane-list's options take them.
VALUES = ('rseed', 'crc', 'counter', 'pseed', 'puidctr', 'puidcrc', 'addr', 'note')


def tool_argv(module, tool):
    """The tool's command line for the module's arguments."""
    p = module.params
    argv = [tool, 'add' if p['state'] == 'present' else 'remove', p['path'], '--json',
            '--wait=%d' % p['wait']]
    if p['account'] is not None:
        argv += ['--as', p['account']]
    if p['create'] and p['state'] == 'present':
        argv.append('--create')
    if p['break_links']:
        argv.append('--break-links')
    if p['allow_empty']:
        argv.append('--allow-empty')
    if module.check_mode:
        argv.append('--dry-run')
    for name in VALUES:
        # A revocation names a person by their seeds: a note would only narrow it.
        if name == 'note' and p['state'] == 'absent':
            continue
        if p[name] is not None:
            argv += ['--' + name, to_text(p[name])]
    return argv


def record_line(record):
    """One record as tolvane-list diff shows it, without the file's name."""
    pseed = 'any' if record['pSeed'] == 0 else str(record['pSeed'])
    line = 'line %d: slot %d: registration seed %d, PUID seed %s, %s to %s' % (
        record['line'], record['slot'], record['rSeed'], pseed, record['ipMin'], record['ipMax'])
    if record.get('comment'):
        line += '   # ' + record['comment']
    return line + '\n'


def records_diff(path, changes):
    """Ansible's diff: the records the change takes out before, the records it adds after."""
    before = ''.join(record_line(c['before']) for c in changes if c.get('before'))
    after = ''.join(record_line(c['after']) for c in changes if c.get('after'))
    return dict(before=before, after=after,
                before_header='%s (records)' % path, after_header='%s (records)' % path)


def tool_message(document, stderr, rc):
    """What the tool said went wrong: its JSON's refusal, trouble or error, else its stderr."""
    where = document.get('file')
    for key in ('refused', 'error', 'trouble'):
        said = document.get(key)
        if isinstance(said, dict) and said.get('message'):
            # A refusal, as the tool writes it on standard error: FILE: error: MESSAGE [CODE]
            text = 'error: ' + said['message'] + (' [%s]' % said['code'] if said.get('code') else '')
        elif isinstance(said, str) and said:
            text = said
        else:
            continue
        return '%s: %s' % (where, text) if where else text
    return stderr.strip() or 'tolvane-list failed (exit status %d) and said nothing' % rc


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
    tool = module.params['tool']
    if '/' not in tool:
        tool = module.get_bin_path(tool, required=True)
    argv = tool_argv(module, tool)

    rc, stdout, stderr = module.run_command(argv)
    result = dict(cmd=argv, rc=rc, stdout=stdout, stderr=stderr, changed=False,
                  installed=False, dry_run=module.check_mode)
    try:
        document = json.loads(stdout)
    except ValueError:
        document = None
    if not isinstance(document, dict):
        document = {}

    if rc != 0:
        # A step after the install may fail (the folder not written to disk), and a revocation
        # may leave a line that still recognises whom it names: the list changed.
        result['installed'] = result['changed'] = bool(document.get('installed'))
        if document.get('missed'):
            result['missed'] = document['missed']
        module.fail_json(msg=tool_message(document, stderr, rc), **result)
    if not document:
        module.fail_json(msg='tolvane-list printed no JSON document', **result)

    result.update(changed=bool(document.get('changed')), installed=bool(document.get('installed')),
                  dry_run=bool(document.get('dryRun')))
    if 'summary' in document:
        result['summary'] = document['summary']
    if 'note' in document:
        result['note'] = document['note']
    if document.get('changes'):
        result['changes'] = document['changes']
        result['diff'] = records_diff(module.params['path'], document['changes'])
    module.exit_json(**result)


if __name__ == '__main__':
    main()
