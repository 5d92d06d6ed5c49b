# -*- coding: utf-8 -*-
# The options and attributes every module of the collection shares.

from __future__ import absolute_import, division, print_function
__metaclass__ = type


class ModuleDocFragment(object):
    DOCUMENTATION = r'''
options:
  hive:
    description:
      - The registry file to change; by default the system's
        (C(/var/lib/marrowick/HKLM.reg)).
    type: path
  executable:
    description:
      - The Marrowick program; by default C(marrowick) from the search path.
    type: path
attributes:
  check_mode:
    support: full
    details: Marrowick's dry run predicts exactly what a real run would change.
  diff_mode:
    support: full
  platform:
    platforms: posix
'''
