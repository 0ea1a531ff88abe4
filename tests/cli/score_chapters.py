#!/usr/bin/env python3
"""Scores quillmark-cli's chapter detection on the labelled real texts.

Usage: score_chapters.py CLI DIR [MIN_PRECISION MIN_RECALL]
DIR holds NAME.txt.xz (the book as downloaded) and NAME.labels (its true
headings, labelled by reading: "line<TAB>level<TAB>title" each). Every book
is listed with `--list-chapters`; an entry counts when a labelled heading has
the same level and the same title once spaces are ignored. Prints precision
and recall per book; exits 1 when a book falls below the thresholds.
"""
import collections
import lzma
import os
import re
import subprocess
import sys
import tempfile

SPACES = re.compile('[ \t\u3000\u00a0]+')


def key(level, title):
    return (level, SPACES.sub('', title))


def listed(cli, path):
    out = subprocess.run([cli, '--epub3', '-t', 'FRONT', '--list-chapters', path], capture_output=True,
                         check=True).stdout.decode('utf-8')
    entries = []
    for line in out.splitlines():
        if re.match(r'^Found \d+ ', line):
            break
        stripped = line.lstrip(' ')
        entries.append(key((len(line) - len(stripped)) // 2, stripped))
    return entries


def main():
    cli, folder = sys.argv[1], sys.argv[2]
    min_p = float(sys.argv[3]) if len(sys.argv) > 3 else 0.0
    min_r = float(sys.argv[4]) if len(sys.argv) > 4 else 0.0
    failed = []
    with tempfile.TemporaryDirectory() as work:
        for name in sorted(n[:-7] for n in os.listdir(folder) if n.endswith('.labels')):
            path = os.path.join(work, name + '.txt')
            with lzma.open(os.path.join(folder, name + '.txt.xz')) as packed, \
                    open(path, 'wb') as plain:
                plain.write(packed.read())
            want = collections.Counter()
            with open(os.path.join(folder, name + '.labels'), encoding='utf-8') as labels:
                for row in labels:
                    _, level, title = row.rstrip('\n').split('\t')
                    want[key(int(level), title)] += 1
            got = collections.Counter(listed(cli, path))
            # Front-matter pages are no headings and count for nothing.
            hits = sum((got & want).values())
            extra = got - want
            fronts = sum(n for k, n in extra.items() if k[0] == 0 and k[1] in FRONT_PAGES)
            counted = sum(got.values()) - fronts
            precision = hits / counted if counted else 1.0
            recall = hits / max(1, sum(want.values()))
            ok = precision >= min_p and recall >= min_r
            print('%-34s labels %4d listed %4d precision %.3f recall %.3f %s'
                  % (name, sum(want.values()), sum(got.values()), precision, recall,
                     '' if ok else 'BELOW'))
            for k in list((want - got).elements())[:5]:
                print('    missed   %d %s' % k)
            for k in list(extra.elements())[:5]:
                print('    extra    %d %s' % k)
            if not ok:
                failed.append(name)
    return 1 if failed else 0


# What a front-matter page is called: the book's title (given as FRONT),
# the preface label, or a contents block's own label. Not headings.
FRONT_PAGES = {'FRONT', '前言', 'Preface', '目錄', '目录', 'Contents', 'CONTENTS'}

if __name__ == '__main__':
    sys.exit(main())
