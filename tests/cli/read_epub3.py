#!/usr/bin/python3
"""Reads EPUB 3 books the way real clients do and checks them against their
sources: epubcheck must report nothing at all, and pandoc and ebooklib must
each return the whole text, nothing replaced.

usage: read_epub3.py BOOK.epub EXPECTED.txt [BOOK.epub EXPECTED.txt ...]
EXPECTED.txt holds the text the book must contain, in UTF-8. Text is compared
with whitespace and XML-forbidden characters removed from both sides.
Prints what is wrong and exits 1, or exits 0."""
import concurrent.futures
import json
import re
import subprocess
import sys
import warnings
import tempfile
import zipfile

import ebooklib
from ebooklib import epub
from lxml import etree

LEFT_OUT = re.compile('[\x00-\x08\x0b\x0c\x0e-\x1f\ufffe\uffff]')
MAX_PAGE = 256 * 1024


def squeeze(text):
    return ''.join(LEFT_OUT.sub('', text).split())


def epubcheck(book):
    with tempfile.NamedTemporaryFile(suffix='.json') as report:
        run = subprocess.run(['java', '-jar', '/usr/share/java/epubcheck.jar', book,
                              '--json', report.name], capture_output=True, text=True)
        try:
            messages = json.load(open(report.name, encoding='utf-8'))['messages']
        except ValueError:
            return ['epubcheck gave no report: ' + run.stderr[-500:]]
    return ['epubcheck %s %s %s' % (m['ID'], m['severity'], m['message']) for m in messages]


def ebooklib_text(book, problems):
    parsed = epub.read_epub(book)
    for field in ('title', 'language', 'identifier'):
        if not any(value for value, _ in parsed.get_metadata('DC', field)):
            problems.append('ebooklib finds no ' + field)
    pieces = []
    for idref, _ in parsed.spine:
        item = parsed.get_item_with_id(idref)
        if item.get_type() == ebooklib.ITEM_DOCUMENT:
            root = etree.fromstring(item.get_content())
            pieces.append(''.join(root.itertext()))
    return ''.join(pieces)


def check(book, expected_path):
    problems = []
    with open(book, 'rb') as f:
        head = f.read(58)
    if head[30:58] != b'mimetypeapplication/epub+zip' or head[8:10] != b'\0\0':
        problems.append('mimetype is not the first, stored entry')
    with zipfile.ZipFile(book) as z:
        if z.testzip() is not None:
            problems.append('bad entry ' + z.testzip())
        for info in z.infolist():
            if info.filename.endswith('.xhtml') and info.file_size > MAX_PAGE:
                problems.append('%s is %d bytes' % (info.filename, info.file_size))
    expected = squeeze(open(expected_path, encoding='utf-8').read())
    pandoc = subprocess.run(['pandoc', '-f', 'epub', '-t', 'plain', book],
                            capture_output=True, text=True)
    for reader, text in (('pandoc', pandoc.stdout), ('ebooklib', ebooklib_text(book, problems))):
        got = squeeze(text)
        if expected not in got:
            at = next((i for i, (a, b) in enumerate(zip(expected, got)) if a != b), 0)
            problems.append('%s lost text: %d characters expected, %d read; first difference near %r'
                            % (reader, len(expected), len(got), expected[max(0, at - 10):at + 10]))
        if '\ufffd' in got and '\ufffd' not in expected:
            problems.append(reader + ' found U+FFFD')
    return problems


def main():
    warnings.simplefilter('ignore')
    pairs = list(zip(sys.argv[1::2], sys.argv[2::2]))
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        checks = list(pool.map(lambda p: epubcheck(p[0]), pairs))
    failed = False
    for (book, expected), messages in zip(pairs, checks):
        for problem in messages + check(book, expected):
            print('%s: %s' % (book, problem))
            failed = True
    sys.exit(1 if failed else 0)


main()
