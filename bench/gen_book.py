#!/usr/bin/env python3
"""Writes a GBK book of about SIZE bytes (default 100 MB) to PATH: varied
Chinese sentences from the common characters, with punctuation and CR LF
lines, so it compresses like a real novel rather than like a repeated line.

With CHAPTERS (and VOLUMES) the book is a novel of that many chapters,
headed "第一百三十三章　title" and grouped under "第十二卷　title" volumes,
as the chapter benchmark needs; without, a "第N章" line every 40 paragraphs.

usage: gen_book.py PATH [SIZE [CHAPTERS [VOLUMES]]]"""
import random
import sys

path = sys.argv[1]
size = int(sys.argv[2]) if len(sys.argv) > 2 else 100 * 1000 * 1000
chapters = int(sys.argv[3]) if len(sys.argv) > 3 else 0
volumes = int(sys.argv[4]) if len(sys.argv) > 4 else 0
rng = random.Random(20261207)

# The first level of GB 2312: the 3755 most common characters.
chars = [bytes([hi, lo]) for hi in range(0xB0, 0xD8) for lo in range(0xA1, 0xFF)
         if not (hi == 0xD7 and lo > 0xF9)]
# A vocabulary of words of one to four characters, used with a skewed
# frequency as words are in prose.
words = [b''.join(rng.choice(chars) for _ in range(rng.choice((1, 2, 2, 2, 3, 4))))
         for _ in range(6000)]
weights = [1.0 / (rank + 10) for rank in range(len(words))]
punctuation = ['，'.encode('gbk')] * 4 + ['。'.encode('gbk'), '！'.encode('gbk'),
                                         '？'.encode('gbk'), '；'.encode('gbk')]
indent = '　　'.encode('gbk')

paragraphs = []
for _ in range(4000):
    sentence = []
    for _ in range(rng.randint(3, 30)):
        sentence.extend(rng.choices(words, weights, k=rng.randint(2, 8)))
        sentence.append(rng.choice(punctuation))
    paragraphs.append(indent + b''.join(sentence) + b'\r\n')



def numeral(n):
    """n (1..9999) in Chinese numerals: 一百三十三, 十二, 一千零五."""
    digits = '零一二三四五六七八九'
    if n < 10:
        return digits[n]
    if n < 20:
        return '十' + (digits[n - 10] if n > 10 else '')
    out, zero = '', False
    for value, unit in ((1000, '千'), (100, '百'), (10, '十'), (1, '')):
        d = n // value % 10
        if d:
            out += ('零' if zero else '') + digits[d] + unit
            zero = False
        elif out:
            zero = True
    return out


def title():
    return b''.join(rng.choices(words, weights, k=rng.randint(1, 3)))


if chapters:
    per_chapter = max(1, size // chapters)
    per_volume = -(-chapters // volumes) if volumes else chapters + 1
    with open(path, 'wb') as out:
        for k in range(chapters):
            if volumes and k % per_volume == 0:
                out.write(('第%s卷　' % numeral(k // per_volume + 1)).encode('gbk') + title() + b'\r\n')
            out.write(('第%s章　' % numeral(k + 1)).encode('gbk') + title() + b'\r\n')
            body = 0
            while body < per_chapter:
                paragraph = rng.choice(paragraphs)
                if body and body + len(paragraph) > per_chapter:
                    break
                out.write(paragraph)
                body += len(paragraph)
    sys.exit(0)

written = 0
with open(path, 'wb') as out:
    chapter = 1
    while written < size:
        block = ('第%d章\r\n' % chapter).encode('gbk') + b''.join(rng.choices(paragraphs, k=40))
        out.write(block)
        written += len(block)
        chapter += 1
