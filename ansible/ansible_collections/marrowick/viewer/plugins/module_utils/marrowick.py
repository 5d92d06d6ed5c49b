# -*- coding: utf-8 -*-
# Marrowick's command line as the collection's modules call it: always with --json, so that
# results and refusals arrive as JSON and no German text has to be parsed.
from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json

# The version of the command line's JSON these modules understand.
JSON_VERSION = 1

# The registry key that holds the MIME mappings, as the command line's reports spell it.
MIME_MAP_KEY = 'HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavik\\Brisvandale\\Pallisander\\MimeMap'

COMMON_ARGUMENT_SPEC = dict(
    hive=dict(type='path'),
    executable=dict(type='path'),
)


def run_marrowick(module, arguments, data=None):
    """Runs one command with --json and returns its JSON object; fails the task with the
    command line's own message when the command refuses."""
    executable = module.params['executable'] or module.get_bin_path('marrowick', required=True)
    environ = {}
    if module.params['hive']:
        environ['MARROWICK_HKLM'] = module.params['hive']
    rc, out, err = module.run_command([executable, '--json'] + list(arguments), data=data,
                                      binary_data=data is not None, environ_update=environ)
    try:
        result = json.loads(out)
    except ValueError:
        result = None
    if not isinstance(result, dict):
        module.fail_json(msg=err.strip() or 'marrowick printed no JSON', rc=rc, stdout=out,
                         stderr=err)
    if rc != 0 or 'error' in result:
        error = result.get('error') or {}
        module.fail_json(msg=error.get('message') or err.strip(), rc=rc, error=error,
                         stderr=err)
    if result.get('version') != JSON_VERSION:
        module.fail_json(msg='marrowick speaks JSON version %r, this module version %d'
                         % (result.get('version'), JSON_VERSION))
    return result


def value_text(value):
    """A reported value as a diff line shows it: numbers and strings as they are, other
    registry types as .reg files write them."""
    if isinstance(value, dict):
        pairs = [value['hex'][i:i + 2] for i in range(0, len(value['hex']), 2)]
        return 'hex(%d):%s' % (value['type'], ','.join(pairs))
    return '%s' % (value,)


def changes_diff(changes):
    """Ansible's diff for a list of reported changes: one line per value before and after,
    under the key's name."""
    before, after = [], []
    for change in changes:
        label = '%s\\%s' % (change['key'], change.get('name') or '@')
        if change['action'] in ('create-key', 'delete-key'):
            (after if change['action'] == 'create-key' else before).append(
                '[%s]\n' % change['key'])
            continue
        if change.get('old') is not None:
            before.append('%s = %s\n' % (label, value_text(change['old'])))
        if change.get('new') is not None:
            after.append('%s = %s\n' % (label, value_text(change['new'])))
    return dict(before=''.join(before), after=''.join(after))


def exit_with_changes(module, changes, **extra):
    """Ends the task with what the command line changed (or, in check mode, would change)."""
    result = dict(changed=bool(changes), changes=changes, **extra)
    if module._diff:
        result['diff'] = changes_diff(changes)
    module.exit_json(**result)
