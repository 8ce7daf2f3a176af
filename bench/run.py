#!/usr/bin/env python3
"""Benchmark lsrcheck -multiple-occurences against the floor and a peer.

For each data set, runs in alternation, round after round:
  tool   lsrcheck -multiple-occurences
  floor  bench's lsrcheck_floor: Kpathsea loads the databases, then one
         concat and one dir_p per entry and nothing else
  peer   find TREES -type f, piped through sort, listing the files that
         share a name ignoring case
  load   bench's lsrcheck_load: Kpathsea, as shipped, loads and walks the
         databases; the floor's share spent in the library
  explain  lsrcheck -explain, on the machine's databases only
  databases, find-L  lsrcheck -databases and find -L TREES -type f, on the
         machine's databases only
and reports medians of wall time, CPU time (user + system, children
included) and peak resident memory (of the largest process), and the
medians of the per-round ratios tool/floor and tool/peer.

Data sets: the machine's own TeX databases (named by the TeX packages
installed; bench/install-full-texlive installs a full-size set), trees whose
names follow the machine's (bench/gen_real.py; --real 100000 1000000 by
default) and synthetic trees (bench/gen_tree.py; --entries, none by
default).
"""

import argparse
import os
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)

PEER = ("find {trees} -type f -printf '%f\\t%p\\n' 2>/dev/null | LC_ALL=C sort -f -t '\t' -k1,1 | "
        "awk -F '\\t' '{{ k = tolower($1) }} k == p {{ if (!g) print q; print $2; g = 1; next }} "
        "{{ if (g) print \"\"; g = 0; p = k; q = $2 }}'")


def measure(build, argv, env, shell=False, statuses=(0,)):
    """Run ARGV once with output discarded; return (wall, cpu, max_rss_kb).

    bench's lsrcheck_measure runs it, so that the memory of this script,
    which a forked child holds until it executes, is not counted."""
    if shell:
        argv = ["sh", "-c", argv]
    run = subprocess.run([os.path.join(build, "bench", "lsrcheck_measure")] + argv,
                         env=env, capture_output=True, text=True)
    if run.returncode not in statuses:
        sys.exit("benchmark: %s failed with status %d" % (argv, run.returncode))
    wall, cpu, rss = run.stdout.split()
    return float(wall), float(cpu), int(rss)


def texmf_trees(env):
    """Return the directories on TEXMFDBS under ENV."""
    out = subprocess.run(["kpsewhich", "-expand-braces=$TEXMFDBS"], env=env,
                         capture_output=True, text=True, check=True).stdout
    return [d.lstrip("!") for d in out.strip().split(":") if d.lstrip("!")
            and os.path.isdir(d.lstrip("!"))]


def installed_tex_packages():
    """Return the Debian TeX packages installed, as a short text."""
    run = subprocess.run(["dpkg-query", "-W", "-f", "${Package} ${Status}\\n",
                          "texlive-*"], capture_output=True, text=True)
    names = sorted(line.split()[0] for line in run.stdout.splitlines()
                   if line.endswith(" installed"))
    return ", ".join(names) if names else "no Debian TeX packages"


def bench(name, env, runs, build, explain=False):
    """Benchmark one data set; print and return its table rows.  With
    EXPLAIN, also lsrcheck -explain, against the plain report."""
    tool = [os.path.join(build, "lsrcheck"), "-multiple-occurences"]
    floor = [os.path.join(build, "bench", "lsrcheck_floor")]
    load = [os.path.join(build, "bench", "lsrcheck_load")]
    trees = texmf_trees(env)
    peer = PEER.format(trees=" ".join("'%s'" % t for t in trees))
    commands = {"tool": (tool, False), "floor": (floor, False), "peer": (peer, True),
                "load": (load, False)}
    if explain:
        commands["explain"] = ([tool[0], "-explain"], False)
        commands["databases"] = ([tool[0], "-databases"], False)
        commands["find-L"] = ("find -L %s -type f" % " ".join("'%s'" % t for t in trees), True)

    count = subprocess.run(tool, env=env, capture_output=True, text=True,
                           check=True).stdout.split(" ", 1)[0]
    # -databases ends with status 4 when it finds a problem.
    for argv, shell in commands.values():   # warm the page cache
        measure(build, argv, env, shell, (0, 4))
    results = {k: [] for k in commands}
    for _ in range(runs):
        for key, (argv, shell) in commands.items():
            results[key].append(measure(build, argv, env, shell, (0, 4)))

    def median(key, i):
        return statistics.median(r[i] for r in results[key])

    def ratio(other, i):
        return statistics.median(t[i] / o[i] for t, o in zip(results["tool"], results[other]))

    print("\n## %s (%s kept files, %d runs)\n" % (name, count, runs))
    print("| program | wall s | cpu s | peak RSS MiB |")
    print("|---|---|---|---|")
    for key in commands:
        print("| %s | %.3f | %.3f | %.1f |" % (key, median(key, 0), median(key, 1),
                                             median(key, 2) / 1024))
    print("| tool/floor | %.2f | %.2f | %.2f |" % (ratio("floor", 0), ratio("floor", 1),
                                                 ratio("floor", 2)))
    print("| tool/peer | %.2f | %.2f | %.2f |" % (ratio("peer", 0), ratio("peer", 1),
                                                ratio("peer", 2)))
    if explain:
        for a, b in (("explain", "tool"), ("databases", "find-L")):
            print("| %s/%s | %.2f | %.2f | %.2f |" % ((a, b) + tuple(
                statistics.median(x[i] / y[i] for x, y in zip(results[a], results[b]))
                for i in range(3))))
    sys.stdout.flush()
    kept = max(int(count), 1)
    return median("tool", 0) / kept, median("floor", 0) / kept


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(TOP, "build"))
    parser.add_argument("--entries", type=int, nargs="*", default=[],
                        help="sizes of the synthetic trees (default none)")
    parser.add_argument("--real", type=int, nargs="*", default=[100000, 1000000],
                        help="sizes of the trees with the machine's names "
                             "(default 100000 1000000)")
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--data", default="/tmp/lsrcheck-bench",
                        help="where the synthetic trees are made")
    parser.add_argument("--no-machine", action="store_true",
                        help="skip the machine's own TeX databases")
    args = parser.parse_args()

    base = dict(os.environ)
    for var in ("TEXMFCNF", "TEXMFDBS", "TEXMF"):
        base.pop(var, None)
    print("# lsrcheck benchmark, %s, %d cores" % (os.uname().machine, os.cpu_count()))
    if not args.no_machine:
        bench("machine's TeX databases (%s)" % installed_tex_packages(), base, args.runs,
              args.build, explain=True)
    for kind, generator, sizes in (("real names", "gen_real.py", args.real),
                                   ("synthetic", "gen_tree.py", args.entries)):
        per_entry = {}
        for n in sizes:
            data = os.path.join(args.data, "%s-%d" % (generator[4:8], n))
            if not os.path.exists(os.path.join(data, "cnf", "texmf.cnf")):
                subprocess.run([sys.executable, os.path.join(HERE, generator), data,
                                "--entries", str(n)], check=True)
            env = dict(base, TEXMFCNF=os.path.join(data, "cnf"))
            per_entry[n] = bench("%s, %d entries" % (kind, n), env, args.runs, args.build)
        if len(per_entry) > 1:
            small, large = min(per_entry), max(per_entry)
            print("\n%s: wall time per kept file, %d -> %d entries: tool x%.2f, "
                  "floor x%.2f"
                  % (kind, small, large, per_entry[large][0] / per_entry[small][0],
                     per_entry[large][1] / per_entry[small][1]))


if __name__ == "__main__":
    main()
