"""The dates and versions lsrcheck reads from \\Provides... declarations,
against LaTeX itself: LaTeX loads each file of a sample of the machine's
LaTeX sources (DECLARATION_SAMPLE, 0 for all; DECLARATION_PACKAGES, "all"
for every TeX package installed) and prints what it records under the
file's own name; where that and the reading disagree, LaTeX is asked
again for what the file's own declarations record.  A date the tool reads
is never another one, nor one where LaTeX records none (a file LaTeX
cannot load without an error is counted apart: what LaTeX records then is
no verdict); a version it reads is LaTeX's.  A file it reads no date from
where LaTeX records one may be one of a few: under 2% of those LaTeX
dates."""

import concurrent.futures
import json
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

SUFFIXES = ('.sty', '.cls', '.def', '.cfg', '.fd', '.clo', '.ldf')
SAMPLE = int(os.environ.get('DECLARATION_SAMPLE', '240'))  # 0: every file
# DECLARATION_PACKAGES=all takes the sources of every TeX package installed.
PACKAGES = os.environ.get('DECLARATION_PACKAGES', 'texlive-base texlive-latex-base')

# The file is loaded as LaTeX loads its kind (a class by \documentclass, a
# package by \RequirePackage, any other file by \input), whole, and what
# LaTeX then records under the file's own name (\ver@NAME) is written out:
# a declaration of a package the file loads is recorded under that
# package's name, one of a file it inputs under the name it gives.  A file
# may give its name as a path to it (\ProvidesFile{pkg/locale/x.def}):
# each file declaration is written out too (LSRFILE), and one under a path
# ending in the file's name counts where none is under the name alone.
HARNESS = r"""\makeatletter
\let\lsr@providedfile\@providesfile
\def\@providesfile#1[#2]{\lsr@providedfile{#1}[#2]\immediate\write16{LSRFILE[\detokenize{#1}]%
  [\expandafter\expandafter\expandafter\detokenize\expandafter\expandafter\expandafter
  {\csname ver@#1\endcsname}]}}
\makeatother
LOAD
\makeatletter
\expandafter\let\expandafter\lsrver\csname ver@NAME\endcsname
\ifx\lsrver\relax\else\immediate\write16{LSRDECL[\expandafter\detokenize\expandafter{\lsrver}]}\fi
\csname @@end\endcsname
"""


# Where the end of the load says otherwise than the reading, LaTeX is asked
# again for the declarations the file makes itself: after each one made
# under the file's name (\@currname for a package or class, the name a
# \ProvidesFile gives), what LaTeX records under it; the last stands.  A
# package the file loads may overwrite the record later (catoptions'
# machinery copies each declaration onto the package that loaded it); and
# a file the format already has (\ver@NAME before the load) is never read.
OWN_HARNESS = r"""\makeatletter
\expandafter\ifx\csname ver@NAME\endcsname\relax\else\immediate\write16{LSRPRE}\fi
\edef\lsr@name{\detokenize{NAME}}
\def\lsr@check#1{\edef\lsr@this{#1}\edef\lsr@this{\detokenize\expandafter{\lsr@this}}%
  \ifx\lsr@this\lsr@name\expandafter\lsr@report\fi}
\def\lsr@report{\immediate\write16{LSRDECL[\expandafter\expandafter\expandafter\detokenize
  \expandafter\expandafter\expandafter{\csname ver@\lsr@name\endcsname}]}}
\let\lsr@provided\@pr@videpackage
\def\@pr@videpackage[#1]{\lsr@provided[#1]\lsr@check{\@currname.\@currext}}
\let\lsr@providedfile\@providesfile
\def\@providesfile#1[#2]{\lsr@providedfile{#1}[#2]\lsr@check{#1}}
LOAD
\csname @@end\endcsname
"""


def harness(path, template=HARNESS):
    """Return the harness TEMPLATE that loads the file at PATH."""
    stem, ext = os.path.splitext(path)
    # A file that is no package is input as packages input it, '@' a letter.
    load = {'.cls': r'\documentclass{%s}' % stem, '.sty': r'\RequirePackage{%s}' % stem}
    return (template.replace('LOAD', load.get(ext, r'\makeatletter\input{%s}' % path))
            .replace('NAME', os.path.basename(path)))


def latex_reading(path, work, template=HARNESS):
    """Return (date, version, clean) of the declaration LaTeX carries out in
    PATH (through the harness TEMPLATE), clean where loading it made no
    error; None where it carries out none."""
    with tempfile.TemporaryDirectory(dir=work) as d:
        with open(os.path.join(d, 'h.tex'), 'w') as f:
            f.write(harness(path, template))
        # Kpathsea's mktex scripts stay off: a font a file uses that no one
        # made yet would be built into the user's TEXMFVAR (root's, in a
        # test run as root), where it then shadows the installation's.
        env = dict(os.environ, max_print_line='100000', MKTEXTFM='0', MKTEXPK='0',
                   MKTEXMF='0', MKTEXFMT='0', MKTEXTEX='0', MKOCP='0', MKOFM='0')
        try:
            out = subprocess.run(['latex', '-interaction=nonstopmode', 'h.tex'], cwd=d,
                                 env=env, stdin=subprocess.DEVNULL, capture_output=True,
                                 timeout=30).stdout.decode('latin-1')
        except subprocess.TimeoutExpired:
            return None
    found = re.findall(r'LSRDECL\[(.*?)\]\n', out)
    name = os.path.basename(path)
    if not found:
        found = [value for declared, value in re.findall(r'LSRFILE\[(.*?)\]\[(.*?)\]\n', out)
                 if declared.endswith('/' + name)]
    if not found or 'LSRPRE' in out:
        return None
    m = re.match(r'(.*)', found[-1])
    # A ~ in the argument is recorded as what it expands to.
    info = re.sub(r'\\protect \\nobreakspace +\{\}', '~', m.group(1)).strip()
    date = info[:10] if re.match(r'\d{4}[/-]\d\d[/-]\d\d', info) else ''
    rest = info[10:].split() if date else info.split()
    # A version written "v 1.0" (expl3's declarations record " 1.0 " so)
    # is shown as one word, as the tool shows it.
    if rest[:1] == ['v'] and len(rest) > 1 and re.match(r'[0-9]', rest[1]):
        rest = ['v' + rest[1]] + rest[2:]
    version = rest[0] if rest and re.match(r'[v0-9]', rest[0]) else ''
    return date, version, re.search(r'^! ', out, re.M) is None


def main():
    tool = sys.argv[1]
    if shutil.which('latex') is None:
        print('latex is not installed')
        return 77
    # The sources of the packages every machine that builds this has, so
    # that the sample is the same everywhere.
    packages = PACKAGES.split()
    if PACKAGES == 'all':
        packages = subprocess.run(['dpkg-query', '-W', '-f', '${Package}\n', 'texlive*'],
                                  capture_output=True, text=True).stdout.split()
    listed = subprocess.run(['dpkg', '-L'] + packages, capture_output=True,
                            text=True).stdout.split('\n')
    files = sorted(set(p for p in listed
                       if '/tex/latex/' in p and p.endswith(SUFFIXES) and os.path.isfile(p)))
    if len(files) < 50:
        print('too few LaTeX sources installed')
        return 77
    sample = random.Random(16).sample(files, min(SAMPLE or len(files), len(files)))
    ours = {}
    run = subprocess.run([tool], input='\n'.join(sample) + '\n', capture_output=True, text=True,
                         errors='surrogateescape')
    for line in run.stdout.splitlines():
        path, date, version = line.split('\t')
        ours[path] = (date, version)
    # DECLARATION_CACHE=FILE keeps LaTeX's answers between runs over the
    # whole set (an hour of LaTeX on two cores).
    cache = os.environ.get('DECLARATION_CACHE')
    theirs = {}
    if cache and os.path.exists(cache):
        theirs = {p: tuple(v) if v else None for p, v in json.load(open(cache)).items()
                  if not v or len(v) == 3}
    missing = [p for p in sample if p not in theirs]
    work = tempfile.mkdtemp()
    try:
        with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 2) as pool:
            theirs.update(zip(missing, pool.map(lambda p: latex_reading(p, work), missing)))
    finally:
        shutil.rmtree(work)
    if cache:
        json.dump(theirs, open(cache, 'w'))
    # Where the end of the load and the reading disagree, the file's own
    # declarations decide.
    work = tempfile.mkdtemp()
    try:
        for path in sample:
            latex, mine = theirs[path], ours.get(path)
            if latex and mine and mine[0] and (mine[0] != latex[0] or
                                               (mine[1] and mine[1] != latex[1])):
                theirs[path] = latex_reading(path, work, OWN_HARNESS)
    finally:
        shutil.rmtree(work)
    compared = differ = undated = erring = 0
    for path in sample:
        latex, mine = theirs[path], ours.get(path)
        if latex is None or mine is None:
            continue  # LaTeX stopped before the end, or the file is unreadable
        # A load that ends in an error is not the file read as it is meant
        # to be (a package that needs another first, or \begin{document}):
        # what LaTeX records then is no verdict on the reading.
        clean = latex[2]
        if not latex[0]:
            if mine[0]:
                differ += clean
                erring += not clean
                print(f'{path}: LaTeX records no date{"" if clean else " (after an error)"}, '
                      f'lsrcheck {mine}')
            continue
        compared += 1
        if not mine[0]:
            undated += 1
            print(f'{path}: LaTeX {latex[:2]}, lsrcheck reads no date')
        elif mine[0] != latex[0] or (mine[1] and mine[1] != latex[1]):
            differ += clean
            erring += not clean
            print(f'{path}: LaTeX {latex[:2]}{"" if clean else " (after an error)"}, '
                  f'lsrcheck {mine}')
    print(f'{compared} dated declarations compared, {differ} differ, {undated} without a date; '
          f'{erring} more differ where LaTeX cannot load the file without an error')
    too_many_undated = undated * 50 > compared  # 2%
    return 1 if differ or too_many_undated or compared < len(sample) // 4 else 0


if __name__ == '__main__':
    sys.exit(main())
