#!/usr/bin/env python3
"""The ZIP for Windows users holds the program and its texts, every text
line ended with CRLF as Notepad and type expect.

Usage: zip_check.py BUILD_DIR"""

import glob
import sys
import zipfile

zips = glob.glob(sys.argv[1] + '/lsrcheck-*-windows-x86_64.zip')
if not zips:
    print('no ZIP in %s (scripts/build-windows makes it)' % sys.argv[1])
    sys.exit(77)
bad = []
with zipfile.ZipFile(zips[0]) as z:
    names = set(z.namelist())
    for wanted in ('lsrcheck.exe', 'README.md', 'COPYING', 'lsrcheck.txt',
                   'explain-schema.md', 'databases-schema.md', 'document-schema.md',
                   'formats-schema.md', 'installations-schema.md'):
        if wanted not in names:
            bad.append('%s is missing' % wanted)
    for name in names - {'lsrcheck.exe'}:
        lines = z.read(name).split(b'\n')
        if lines[-1] != b'' or any(not l.endswith(b'\r') for l in lines[:-1]):
            bad.append('%s has lines without CRLF' % name)
print('\n'.join(bad) if bad else '%d files, texts with CRLF' % len(names))
sys.exit(1 if bad else 0)
