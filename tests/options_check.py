#!/usr/bin/env python3
"""Every option of the tool's option table, with its short form, is named
in the four places a user reads: the usage text (-help), the manual page,
the README's table of options and the bash completion.

Usage: options_check.py LSRCHECK SOURCE_DIR"""

import re
import subprocess
import sys

lsrcheck, top = sys.argv[1], sys.argv[2]
source = open(top + '/src/lsrcheck.cc').read()

# The table's rows: {"name", argument, nullptr, code}.  A row whose name is
# a prefix of another row's with the same code is an abbreviation kept for
# old command lines, not an option of its own.
rows = re.findall(r'\{"([a-z-]+)",\s*\w+,\s*nullptr,\s*([^}]+?)\}', source)
codes = {}
for name, code in rows:
    codes.setdefault(code.strip(), []).append(name)
options = {}
for code, names in codes.items():
    for name in names:
        if not any(other != name and other.startswith(name) for other in names):
            options[name] = code
short_string = re.search(r'short_options\[\] = "([^"]*)"', source).group(1)
letters = {"'%s'" % c: c for c in short_string if c != ':'}
# -g is the unique prefix of -ghostscript, documented as its short form.
letters["'g'"] = 'g'
short_of = {name: letters.get(code) for name, code in options.items()}
if len(options) < 15 or sum(1 for s in short_of.values() if s) < 9:
    print('the option table was not read: %s' % options)
    sys.exit(1)


def named_p(text, word):
    """True if TEXT names the option -WORD (not as part of a longer one)."""
    return re.search(r'(?<![\w-])-' + re.escape(word) + r'(?![\w-])', text) is not None


help_text = subprocess.run([lsrcheck, '-help'], capture_output=True, text=True).stdout
manual = open(top + '/man/lsrcheck.1').read()
manual = re.sub(r'\\f[BIRP]', '', manual.replace('\\-', '-').replace('\\e', '\\'))
readme = open(top + '/README.md').read()
table = readme[readme.index('\n## Options'):]
table = '\n'.join(l for l in table[:table.index('\n## ', 1)].split('\n') if l.startswith('|'))
completion_words = re.search(r"options='([^']*)'",
                             open(top + '/completion/lsrcheck').read()).group(1).split()
completion = ' '.join('-' + w.rstrip('=') for w in completion_words)

places = {'-help': help_text, 'the manual': manual, "the README's table": table,
          'the completion': completion}
missing = []
for name, short in sorted(short_of.items()):
    for place, text in places.items():
        for word in [name] + ([short] if short else []):
            if not named_p(text, word):
                missing.append('-%s is not in %s' % (word, place))
print('\n'.join(missing) if missing else
      '%d options and %d short forms in all four places' %
      (len(short_of), sum(1 for s in short_of.values() if s)))
sys.exit(1 if missing else 0)
