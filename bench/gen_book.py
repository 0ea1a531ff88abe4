#!/usr/bin/env python3
"""Writes a GBK book of about SIZE bytes (default 100 MB) to PATH: varied
Chinese sentences from the common characters, with punctuation and CR LF
lines, so it compresses like a real novel rather than like a repeated line.

usage: gen_book.py PATH [SIZE]"""
import random
import sys

path = sys.argv[1]
size = int(sys.argv[2]) if len(sys.argv) > 2 else 100 * 1000 * 1000
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

written = 0
with open(path, 'wb') as out:
    chapter = 1
    while written < size:
        block = ('第%d章\r\n' % chapter).encode('gbk') + b''.join(rng.choices(paragraphs, k=40))
        out.write(block)
        written += len(block)
        chapter += 1
