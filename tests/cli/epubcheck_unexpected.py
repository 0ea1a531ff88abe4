#!/usr/bin/env python3
"""Prints the messages of an epubcheck JSON report that the book's layout
does not cause on purpose; exits 1 when there are any.

usage: epubcheck_unexpected.py REPORT.json"""
import json
import sys

# (message ID, text the message must contain). The layout deflates every
# entry and does not put mimetype first (PKG-006, PKG-007), leaves the identifier empty with no
# element carrying its id, has no language, no NCX title, marks every spine
# item non-linear, and its pages have no title and start with bare text.
ACCEPTED = [
    ('PKG-006', ''), ('PKG-007', ''),
    ('OPF-030', 'PrimaryID'),
    ('OPF-033', 'no linear'),
    ('RSC-005', 'dc:identifier'),
    ('RSC-005', 'dc:language'),
    ('RSC-005', 'docTitle'),
    ('RSC-005', 'missing required element "title"'),
    ('RSC-005', 'text not allowed here'),
]

with open(sys.argv[1], encoding='utf-8') as report:
    messages = json.load(report)['messages']
unexpected = [m for m in messages
              if not any(m['ID'] == i and text in m['message'] for i, text in ACCEPTED)]
for m in unexpected:
    print(m['ID'], m['severity'], m['message'])
if not messages:
    print('epubcheck reported nothing at all; the report is not what this expects')
sys.exit(1 if unexpected or not messages else 0)
