#!/usr/bin/python3
"""Reads books back with real reading software and compares each book's text
with its source: pandoc's EPUB reader, Python's ebooklib and epubcheck.

usage: /usr/bin/python3 reader_harness.py [--layout NAME] [--accept ID[:TEXT]]...
           [--jobs N] BOOK SOURCE ENCODING [BOOK SOURCE ENCODING ...]

ENCODING is how SOURCE is written: gbk, utf-8 or utf-16; or unicode, for a
UTF-8 SOURCE whose text must come back as it is (no code page 936). Texts are compared
with all whitespace and XML-forbidden control characters removed from both
sides; bytes of a GBK source that are no character read "?", and every
character of a UTF-8 or UTF-16 source comes back, also those code page 936
lacks. epubcheck may report only the messages that the book's layout
causes on purpose (--layout picks a list of ACCEPTED; another kind of output
adds its own) and those --accept adds. The epub3 layout accepts no message
at all; its books carry a cover, a title page and a table of contents, so
the source's text must appear whole and in order within what the readers
return, and the package must be what format sniffers and readers expect
(mimetype stored first, no page over 256 KB).
Prints one line of figures per book and every fault; exits 1 on any fault,
a missing tool included. Needs Debian's python3 for ebooklib."""
import argparse
import collections
import concurrent.futures
import os
import re
import shutil
import subprocess
import sys

EPUBCHECK_JAR = '/usr/share/java/epubcheck.jar'

# (message ID, text the message must contain) that each layout causes on
# purpose. "classic": mimetype is not the first entry (PKG-006), the identifier
# is empty and no element carries its id, there is no language, no NCX title
# and no page title, and the navigation's play order counts from 0.
ACCEPTED = {
    'classic': [
        ('PKG-006', ''),
        ('OPF-030', 'PrimaryID'),
        ('RSC-005', 'dc:identifier'),
        ('RSC-005', 'dc:language'),
        ('RSC-005', 'docTitle'),
        ('RSC-005', 'missing required element "title"'),
        ('RSC-005', 'playOrder'),
    ],
    'epub3': [],
}

IGNORED = re.compile(r'[\s\x00-\x08\x0b\x0c\x0e-\x1f\ufffe\uffff]+')


def comparable(text):
    return IGNORED.sub('', text)


def source_text(path, encoding):
    with open(path, 'rb') as source:
        data = source.read()
    if encoding == 'unicode':
        return data.decode('utf-8')
    if encoding == 'gbk':
        return data.decode('gbk', errors='replace').replace('\ufffd', '?')
    return data.decode({'utf-8': 'utf-8-sig', 'utf-16': 'utf-16'}[encoding])


def pandoc_text(book):
    run = subprocess.run(['pandoc', '-f', 'epub', '-t', 'plain', '--wrap=none', book],
                         capture_output=True)
    if run.returncode != 0:
        raise RuntimeError('pandoc failed: ' + run.stderr.decode(errors='replace'))
    return run.stdout.decode('utf-8')


def ebooklib_text(book):
    """The text of every page in spine order, read through get_content()."""
    import warnings
    from ebooklib import epub
    from lxml import etree
    with warnings.catch_warnings():
        warnings.simplefilter('ignore')
        read = epub.read_epub(book, {'ignore_ncx': True})
    texts = []
    for idref, _ in read.spine:
        page = etree.fromstring(read.get_item_with_id(idref).get_content())
        bodies = page.xpath('//*[local-name()="body"]')
        texts.append(''.join(bodies[0].itertext()) if bodies else '')
    return len(texts), ''.join(texts)


EPUBCHECK_LINE = re.compile(r'^(?:FATAL|ERROR|WARNING)\(([A-Z]+-\d+)\): .*?\(-?\d+,-?\d+\): (.*)$')
EPUBCHECK_TOTAL = re.compile(r'Messages: (\d+) fatals? / (\d+) errors? / (\d+) warnings?')


def epubcheck_messages(book):
    """(ID, message) for each place epubcheck reports, read from its text
    output, which lists every place (its JSON report stops at 26 a message)."""
    run = subprocess.run(['java', '-Xss1024k', '-XX:TieredStopAtLevel=1', '-XX:+UseSerialGC',
                          '-jar', EPUBCHECK_JAR, book], capture_output=True)
    out, err = run.stdout.decode(errors='replace'), run.stderr.decode(errors='replace')
    messages = [m.groups() for m in map(EPUBCHECK_LINE.match, err.splitlines()) if m]
    total = EPUBCHECK_TOTAL.search(out)
    expected = sum(map(int, total.groups())) if total else 0
    if (total is None and 'No errors or warnings detected' not in out) or \
            len(messages) != expected:
        raise RuntimeError('unreadable epubcheck output (%d of %d messages): %s' %
                           (len(messages), expected, (out + err)[-500:]))
    return messages


def message_kind(code, message):
    """The code, with the gist of the parser's complaint for RSC-005."""
    if code != 'RSC-005':
        return code
    gist = message.replace('Error while parsing file: ', '').split(';')[0]
    return '%s(%s)' % (code, gist[:40])


def package_faults(book):
    """What an EPUB 3 package must be beyond epubcheck's rules."""
    import zipfile
    faults = []
    with open(book, 'rb') as data:
        head = data.read(58)
    if head[30:58] != b'mimetypeapplication/epub+zip' or head[8:10] != b'\0\0':
        faults.append('mimetype is not the first entry, stored')
    with zipfile.ZipFile(book) as archive:
        faults += ['%s is %d bytes' % (i.filename, i.file_size) for i in archive.infolist()
                   if i.filename.endswith('.xhtml') and i.file_size > 256 * 1024]
    import warnings
    from ebooklib import epub
    with warnings.catch_warnings():
        warnings.simplefilter('ignore')
        read = epub.read_epub(book, {'ignore_ncx': True})
    faults += ['ebooklib finds no ' + field for field in ('title', 'language', 'identifier')
               if not any(value for value, _ in read.get_metadata('DC', field))]
    return faults


def check_book(book, source, encoding, accepted, within):
    """A line of figures and a list of faults for one book. within: the
    source's text may stand among the book's own texts."""
    faults = package_faults(book) if within else []
    expected = comparable(source_text(source, encoding))

    def compare(reader, text):
        text = comparable(text)
        if within and '\ufffd' in text and '\ufffd' not in expected:
            faults.append('%s: U+FFFD in the text' % reader)
        if within and expected in text:
            return len(text)
        if text != expected:
            at = next((i for i, (a, b) in enumerate(zip(text, expected)) if a != b),
                      min(len(text), len(expected)))
            faults.append('%s: text differs at %d: %r vs %r' %
                          (reader, at, text[at:at + 12], expected[at:at + 12]))
        return len(text)

    try:
        pandoc_count = compare('pandoc', pandoc_text(book))
    except Exception as error:  # a reader's failure is a fault of the book
        pandoc_count, faults = 0, faults + ['pandoc: %s' % error]
    try:
        pages, text = ebooklib_text(book)
        ebooklib_count = compare('ebooklib', text)
    except Exception as error:
        pages, ebooklib_count, faults = 0, 0, faults + ['ebooklib: %r' % error]
    counts, unexpected = collections.Counter(), collections.Counter()
    try:
        for code, message in epubcheck_messages(book):
            counts[message_kind(code, message)] += 1
            if not any(code == i and part in message for i, part in accepted):
                unexpected[code + ' ' + message] += 1
    except Exception as error:
        faults.append('epubcheck: %s' % error)
    faults += ['epubcheck: %s (%d places)' % item for item in sorted(unexpected.items())]
    figures = '%s: source %d chars, pandoc %d, ebooklib %d in %d pages; epubcheck %s' % (
        os.path.basename(book), len(expected), pandoc_count, ebooklib_count, pages,
        ', '.join('%s x%d' % item for item in sorted(counts.items())) or 'clean')
    return figures, ['%s: %s' % (os.path.basename(book), f) for f in faults]


def missing_tools():
    missing = [tool for tool in ('pandoc', 'java') if shutil.which(tool) is None]
    if not os.path.exists(EPUBCHECK_JAR):
        missing.append(EPUBCHECK_JAR)
    try:
        import ebooklib  # noqa: F401
        import lxml  # noqa: F401
    except ImportError as error:
        missing.append('%s (Debian python3-ebooklib)' % error.name)
    return missing


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--layout', default='classic', choices=sorted(ACCEPTED))
    parser.add_argument('--accept', action='append', default=[])
    parser.add_argument('--jobs', type=int, default=2)
    parser.add_argument('books', nargs='+')
    args = parser.parse_args()
    if len(args.books) % 3:
        parser.error('books come as BOOK SOURCE ENCODING triples')
    missing = missing_tools()
    if missing:
        print('missing tools: ' + ', '.join(missing))
        return 1
    accepted = ACCEPTED[args.layout] + [a.partition(':')[::2] for a in args.accept]
    triples = [args.books[i:i + 3] for i in range(0, len(args.books), 3)]
    for book, source, encoding in triples:
        if not (os.path.isfile(book) and os.path.isfile(source)):
            parser.error('no such book or source: %s %s' % (book, source))
        if encoding not in ('gbk', 'utf-8', 'utf-16', 'unicode'):
            parser.error('unknown encoding ' + encoding)
    with concurrent.futures.ThreadPoolExecutor(max(1, args.jobs)) as pool:
        results = list(pool.map(
            lambda t: check_book(*t, accepted, args.layout == 'epub3'), triples))
    faults = [fault for _, book_faults in results for fault in book_faults]
    for figures, _ in results:
        print(figures)
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())
