# -*- coding: utf-8 -*-
from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: settings
short_description: Set the document viewer's machine-wide settings
version_added: 1.0.0
description:
  - Stores the document viewer's settings (first day of the week, document sort key and
    direction, table sizes) in the machine's registry through Marrowick's command line,
    with the same rules as Marrowick's dialog.
  - All values of a task are checked first and stored in one step; when one is refused the
    task fails with Marrowick's message and nothing is written.
  - Values that are already stored are not written again, and the task reports no change.
options:
  values:
    description:
      - The settings, setting name to value, as C(marrowick set NAME=VALUE) takes them
        (names in any letter case).
      - C(TopDay) is C(1) or C(sonntag), C(2) or C(montag); C(SortKey) is C(0) to C(7), the
        label of Marrowick's list (for example C(Geändert)) or its identifier; C(SortDir) is
        C(0) or C(aufsteigend), C(1) or C(absteigend); C(EntrySection) is 5 to 99;
        C(DocList), C(DocThum), C(SecList) and C(SecThum) are 10 to 100.
      - With C(state=absent) only the names count; they may also be given as a list.
    type: raw
    required: true
  state:
    description:
      - C(present) stores the values; C(absent) removes the named values, so that the viewer
        reads its own defaults.
    type: str
    choices: [present, absent]
    default: present
extends_documentation_fragment:
  - ansible.builtin.action_common_attributes
  - marrowick.viewer.common
author:
  - Marrowick Maintainers (@marrowick)
'''

EXAMPLES = r'''
- name: Monday first, newest changes first, 40 documents per list
  marrowick.viewer.settings:
    values:
      TopDay: montag
      SortKey: Geändert
      SortDir: absteigend
      DocList: 40

- name: Let the viewer read its own default for the thumbnail counts again
  marrowick.viewer.settings:
    values: [DocThum, SecThum]
    state: absent
'''

RETURN = r'''
changes:
  description:
    - Every value changed (in check mode, that would be changed), as Marrowick reports it.
      Empty when everything was already so.
  returned: success
  type: list
  elements: dict
  contains:
    action:
      description: C(set) or C(delete) (C(create-key) when the key had to be created).
      type: str
      sample: set
    key:
      description: The registry key.
      type: str
      sample: HKEY_LOCAL_MACHINE\SOFTWARE\Tavik\Brisvandale\Pallisander\ObjectNum
    name:
      description: The registry value's name.
      type: str
      sample: DocList
    old:
      description: The value stored before, or null.
      type: raw
      sample: 20
    new:
      description: The value stored now, or null when it was removed.
      type: raw
      sample: 40
'''

from ansible.module_utils.basic import AnsibleModule
from ansible.module_utils.six import string_types, integer_types
from ansible_collections.marrowick.viewer.plugins.module_utils.marrowick import (
    COMMON_ARGUMENT_SPEC, exit_with_changes, run_marrowick)


def main():
    module = AnsibleModule(
        argument_spec=dict(
            values=dict(type='raw', required=True),
            state=dict(type='str', choices=['present', 'absent'], default='present'),
            **COMMON_ARGUMENT_SPEC),
        supports_check_mode=True,
    )
    values = module.params['values']
    dry_run = ['--dry-run'] if module.check_mode else []
    if module.params['state'] == 'present':
        if not isinstance(values, dict) or not values:
            module.fail_json(msg='values: erwartet wird ein Wörterbuch NAME: WERT.')
        assignments = []
        for name, value in values.items():
            if isinstance(value, bool) or not isinstance(value, string_types + integer_types):
                module.fail_json(msg='%s: erwartet wird eine Zahl oder ein Wort.' % name)
            assignments.append('%s=%s' % (name, value))
        result = run_marrowick(module, ['set'] + dry_run + ['--'] + assignments)
    else:
        names = list(values) if isinstance(values, (dict, list)) else None
        if not names or not all(isinstance(name, string_types) for name in names):
            module.fail_json(msg='values: erwartet werden die Namen der Einstellungen.')
        result = run_marrowick(module, ['unset'] + dry_run + ['--'] + names)
    exit_with_changes(module, result['changes'])


if __name__ == '__main__':
    main()
