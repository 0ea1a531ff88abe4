#!/usr/bin/env python3
"""Finds a book's cover image as readers do, through the package document,
and prints what it is: "<media-type> <width>x<height> <sha1 of its bytes>".

The image must be the manifest item marked cover-image, named by the EPUB 2
<meta name="cover">, and shown by the cover page the spine opens with.
The size comes from the image's own header (PNG IHDR or JPEG SOF)."""
import hashlib
import posixpath
import struct
import sys
import xml.etree.ElementTree as ET
import zipfile

OPF = '{http://www.idpf.org/2007/opf}'
XHTML = '{http://www.w3.org/1999/xhtml}'


def image_size(data):
    if data.startswith(b'\x89PNG\r\n\x1a\n'):
        return struct.unpack('>II', data[16:24])
    assert data.startswith(b'\xff\xd8'), 'neither PNG nor JPEG'
    at = 2
    while at < len(data):
        marker, length = data[at + 1], struct.unpack('>H', data[at + 2:at + 4])[0]
        if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            height, width = struct.unpack('>HH', data[at + 5:at + 9])
            return width, height
        at += 2 + length
    raise AssertionError('JPEG without a frame header')


def main(path):
    book = zipfile.ZipFile(path)
    root = ET.fromstring(book.read('META-INF/container.xml'))
    opf_path = root.find('.//{urn:oasis:names:tc:opendocument:xmlns:container}rootfile').get(
        'full-path')
    opf = ET.fromstring(book.read(opf_path))
    base = posixpath.dirname(opf_path)
    items = {i.get('id'): i for i in opf.iter(OPF + 'item')}
    marked = [i for i in items.values() if 'cover-image' in (i.get('properties') or '').split()]
    assert len(marked) == 1, 'cover-image items: %d' % len(marked)
    cover = marked[0]
    named = [m.get('content') for m in opf.iter(OPF + 'meta') if m.get('name') == 'cover']
    assert named == [cover.get('id')], named
    href = posixpath.join(base, cover.get('href'))
    first = items[opf.find(OPF + 'spine').find(OPF + 'itemref').get('idref')]
    page_path = posixpath.join(base, first.get('href'))
    page = ET.fromstring(book.read(page_path))
    shown = [posixpath.normpath(posixpath.join(posixpath.dirname(page_path), img.get('src')))
             for img in page.iter(XHTML + 'img')]
    assert shown == [href], (shown, href)
    data = book.read(href)
    width, height = image_size(data)
    print('%s %dx%d %s' % (cover.get('media-type'), width, height,
                           hashlib.sha1(data).hexdigest()))


if __name__ == '__main__':
    main(sys.argv[1])
