#!/usr/bin/env python3
"""Reads a book written by quillmark-cli back with Python's own zip and XML
readers and compares it with its source text.

usage: check_epub.py BOOK.epub SOURCE.txt ENCODING [--title T] [--author A]
       [--label L] [--max-pages N]
Prints what is wrong and exits 1, or exits 0."""
import argparse
import re
import sys
import zipfile
from xml.dom import minidom

FORBIDDEN = re.compile('[\x00-\x08\x0b\x0c\x0e-\x1f]')
LINE_END = re.compile('\r\n?')


def fail(message):
    print(message)
    sys.exit(1)


def page_text(xhtml):
    """The text of a page, every text in a paragraph, with line feeds between
    the paragraphs."""
    start = xhtml.index('<body>') + len('<body>')
    body = xhtml[start:xhtml.rindex('</body>')]
    if not (body.startswith('<p>') and body.endswith('</p>')):
        fail('text outside a paragraph: ' + body[:40] + ' ... ' + body[-40:])
    body = body[3:-4].replace('</p><p>', '\n')
    if '<' in body:
        fail('unexpected markup in a page body: ' + body[body.index('<'):][:40])
    return body.replace('&lt;', '<').replace('&gt;', '>').replace('&amp;', '&')


def text_of(dom, tag):
    nodes = dom.getElementsByTagName(tag)
    if len(nodes) != 1:
        fail('expected one <%s>, found %d' % (tag, len(nodes)))
    return ''.join(n.data for n in nodes[0].childNodes if n.nodeType == n.TEXT_NODE)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('book')
    parser.add_argument('source')
    parser.add_argument('encoding')
    parser.add_argument('--title')
    parser.add_argument('--author')
    parser.add_argument('--label')
    parser.add_argument('--max-pages', type=int)
    args = parser.parse_args()

    with zipfile.ZipFile(args.book) as book:
        bad = book.testzip()
        if bad is not None:
            fail('bad CRC in ' + bad)
        names = set(book.namelist())
        for required in ('mimetype', 'META-INF/container.xml', 'OEBPS/content.opf',
                         'OEBPS/toc.ncx', 'OEBPS/css/main.css'):
            if required not in names:
                fail('missing entry ' + required)
        if book.read('mimetype') != b'application/epub+zip':
            fail('wrong mimetype')
        documents = {}
        for name in sorted(names):
            if name.endswith(('.xml', '.opf', '.ncx', '.html')):
                raw = book.read(name).decode('utf-8')
                try:
                    documents[name] = (raw, minidom.parseString(raw.encode('utf-8')))
                except Exception as error:  # any parser complaint is a failure
                    fail('%s is not well-formed XML: %s' % (name, error))

    opf = documents['OEBPS/content.opf'][1]
    ncx = documents['OEBPS/toc.ncx'][1]
    hrefs = {item.getAttribute('id'): item.getAttribute('href')
             for item in opf.getElementsByTagName('item')}
    spine = [hrefs[ref.getAttribute('idref')] for ref in opf.getElementsByTagName('itemref')]
    if args.max_pages is not None and not 1 <= len(spine) <= args.max_pages:
        fail('%d pages, expected 1 to %d' % (len(spine), args.max_pages))
    if args.title is not None and text_of(opf, 'dc:title') != args.title:
        fail('title is %r' % text_of(opf, 'dc:title'))
    if args.author is not None and text_of(opf, 'dc:creator') != args.author:
        fail('author is %r' % text_of(opf, 'dc:creator'))
    labels = [''.join(n.data for n in t.childNodes if n.nodeType == n.TEXT_NODE)
              for t in ncx.getElementsByTagName('text')]
    if len(labels) != len(spine):
        fail('%d navigation points for %d pages' % (len(labels), len(spine)))
    if args.label is not None:
        expected = ['%s(%d)' % (args.label, k + 1) for k in range(len(spine))]
        if labels != expected:
            fail('labels %r, expected %r' % (labels[:3], expected[:3]))

    # The halves of a CR LF pair cut between two pages stay as they were; any
    # line end of the source reads as one line feed.
    joined = LINE_END.sub('\n', ''.join(page_text(documents['OEBPS/' + href][0])
                                         for href in spine))
    with open(args.source, 'rb') as source:
        data = source.read()
    if args.encoding == 'gbk':
        expected = data.decode('gbk')
    elif args.encoding == 'utf-8':
        expected = data.decode('utf-8-sig')
    elif args.encoding == 'utf-16':
        expected = data.decode('utf-16')
    elif args.encoding == 'big5':
        expected = data.decode('big5hkscs')
    else:
        fail('unknown encoding ' + args.encoding)
    expected = LINE_END.sub('\n', FORBIDDEN.sub('', expected))
    if joined != expected:
        at = next((i for i, (a, b) in enumerate(zip(joined, expected)) if a != b),
                  min(len(joined), len(expected)))
        fail('text differs at %d: %r vs %r (lengths %d, %d)' % (
            at, joined[at:at + 20], expected[at:at + 20], len(joined), len(expected)))


if __name__ == '__main__':
    main()
