# -*- coding: utf-8 -*-
from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: mime
short_description: Map file extensions to MIME types for the document viewer
version_added: 1.0.0
description:
  - Adds, changes and removes the document viewer's mappings from file extensions to MIME
    types in the machine's registry through Marrowick's command line.
  - Extensions are matched in any letter case, as the viewer matches them; a stored
    mapping keeps its spelling.
  - Every extension and type is checked with Marrowick's rules first; the whole task is
    then stored in one step. When one is refused the task fails with Marrowick's message
    and nothing is written.
options:
  extension:
    description:
      - One extension, without a leading dot (for example C(pdf)).
      - Exactly one of C(extension) and C(mappings) is required.
    type: str
  type:
    description:
      - The MIME type for C(extension), in the form C(type/subtype), parameters allowed
        (for example C(text/plain; charset=windows-1252)). Required with C(extension) and
        C(state=present).
    type: str
  mappings:
    description:
      - Several mappings at once, extension to MIME type. With C(state=absent) only the
        extensions count.
    type: dict
  exclusive:
    description:
      - With C(mappings) and C(state=present), remove every stored mapping whose extension
        C(mappings) does not name.
    type: bool
    default: false
  state:
    description:
      - C(present) adds or changes the mappings; C(absent) removes them.
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
- name: PDF files open as PDF
  marrowick.viewer.mime:
    extension: pdf
    type: application/pdf

- name: Exactly these mappings, nothing else
  marrowick.viewer.mime:
    mappings:
      pdf: application/pdf
      odt: application/vnd.oasis.opendocument.text
    exclusive: true

- name: No mapping for .doc any more
  marrowick.viewer.mime:
    extension: doc
    state: absent
'''

RETURN = r'''
changes:
  description:
    - Every mapping changed (in check mode, that would be changed), as Marrowick reports
      it. Empty when everything was already so.
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
      sample: HKEY_LOCAL_MACHINE\SOFTWARE\Tavik\Brisvandale\Pallisander\MimeMap
    name:
      description: The extension as stored.
      type: str
      sample: pdf
    old:
      description: The MIME type stored before, or null.
      type: raw
      sample: application/octet-stream
    new:
      description: The MIME type stored now, or null when the mapping was removed.
      type: raw
      sample: application/pdf
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.marrowick.viewer.plugins.module_utils.marrowick import (
    COMMON_ARGUMENT_SPEC, MIME_MAP_KEY, exit_with_changes, run_marrowick)


def reg_string(text):
    return '"%s"' % text.replace('\\', '\\\\').replace('"', '\\"')


def main():
    module = AnsibleModule(
        argument_spec=dict(
            extension=dict(type='str'),
            type=dict(type='str'),
            mappings=dict(type='dict'),
            exclusive=dict(type='bool', default=False),
            state=dict(type='str', choices=['present', 'absent'], default='present'),
            **COMMON_ARGUMENT_SPEC),
        mutually_exclusive=[('extension', 'mappings')],
        required_one_of=[('extension', 'mappings')],
        required_if=[('state', 'present', ('mappings', 'type'), True)],
        supports_check_mode=True,
    )
    params = module.params
    if params['exclusive'] and params['mappings'] is None:
        module.fail_json(msg='exclusive: only together with mappings.')
    if params['extension'] is not None:
        wanted = {params['extension']: params['type']}
    else:
        wanted = dict((extension, '%s' % (mime_type,))
                      for extension, mime_type in params['mappings'].items())
    present = params['state'] == 'present'

    # Each mapping passes the command line's own check of extensions and types first.
    if present:
        for extension, mime_type in wanted.items():
            run_marrowick(module, ['mime', 'set', '--dry-run', '--', extension, mime_type])

    stored = dict((mapping['extension'].lower(), mapping['extension'])
                  for mapping in run_marrowick(module, ['mime', 'list'])['mappings'])
    wanted_folded = set(extension.lower() for extension in wanted)
    lines = []
    if present:
        for extension, mime_type in wanted.items():
            name = stored.get(extension.lower(), extension)
            lines.append('%s=%s' % (reg_string(name), reg_string(mime_type)))
    if not present:
        removed = [name for folded, name in stored.items() if folded in wanted_folded]
    elif params['exclusive']:
        removed = [name for folded, name in stored.items() if folded not in wanted_folded]
    else:
        removed = []
    lines.extend('%s=-' % reg_string(name) for name in sorted(removed))
    if not lines:
        exit_with_changes(module, [])

    # One import sets and removes everything at once, or nothing.
    reg_file = 'REGEDIT4\n\n[%s]\n%s\n' % (MIME_MAP_KEY, '\n'.join(lines))
    dry_run = ['--dry-run'] if module.check_mode else []
    result = run_marrowick(module, ['import'] + dry_run + ['-'], data=reg_file.encode('utf-8'))
    exit_with_changes(module, result['changes'])


if __name__ == '__main__':
    main()
