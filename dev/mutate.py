#!/usr/bin/env python3
"""How many faults the tests catch: draws N one-token changes ("mutants") of installer/*.cpp
at random, builds each in a scratch copy of the tree, runs the suite on it, and prints the
mutants that no test noticed (the survivors) and the share that some test did (the kill
rate).

usage: mutate.py [-n N] [--seed S] [--timeout SECONDS] [--build-type TYPE] [--jobs J]

A fresh seed is drawn for each run unless one is given; it is printed first, so a draw can be
run again. Everything happens in one temporary folder (the copy, its build, TMPDIR of the
tests), removed at the end. The suite runs as `make check` runs it, through ctest, so every
test that runs the installer as root does so in its own mount namespace, over overlays: a
mutant can do no more there than the tested code could. The web-server, package, manual and
Ansible tests are left out, and so are the scenarios' runs against the static installer: they
test no more of installer/*.cpp and take longest (what only the static installer runs of it,
userfiles.cpp, its unit test reaches). The tests run in the order they are declared, unit
tests first, and the first failure ends the run, so a mutant that a unit test catches costs
little more than its build.

A change is one token: a comparison turned (== and !=, < and >=, > and <=), a boundary moved
(<= and <, >= and >), && and ||, a number one up or one down, a returned truth value or 0/1
swapped, a negation dropped. Strings, characters, comments and preprocessor lines are left
alone. A mutant that does not build is not counted; another is drawn in its place. Mutants
build as every build of ours does, warnings as errors: a change the compiler warns about
(an && inside || without parentheses, say) could never land, so it is no fault to catch.

Survivors that cannot change what the program does are listed, each with its reason, in
dev/mutate.known ("FILE | LINE | FROM -> TO | reason", LINE the mutated line's text without
its indentation, TO "(dropped)" for a negation taken away); they are shown apart and left out
of the second rate.
"""
import argparse
import hashlib
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)
KNOWN = os.path.join(HERE, "mutate.known")
SKIP_TESTS = r"^(apache.*|release\.(deb|man)|ansible|static.*)$"

# Operators are taken only with a blank on each side, as the sources write binary operators:
# that keeps out template brackets, ->, >>, << and the like.
SWAPS = {
    "==": ["!="], "!=": ["=="],
    "<": [">=", "<="], "<=": ["<", ">"], ">": ["<=", ">="], ">=": [">", "<"],
    "&&": ["||"], "||": ["&&"],
}
OPERATOR = re.compile(r"(?<= )(==|!=|<=|>=|<|>|&&|\|\|)(?= )")
NUMBER = re.compile(r"(?<![\w.])([0-9]+)(?![\w.'])")
RETURN = re.compile(r"\breturn (true|false|0|1);")
NEGATION = re.compile(r"(?<![\w)\]!])!(?=[\w(])")


def blank_out(text):
    """The text with comments, string and character literals replaced by blanks (line ends
    kept), and preprocessor lines blanked, so offsets stay those of the file."""
    out = list(text)
    i, n = 0, len(text)

    def until(close, start, keep_close):
        """Blanks from i to the end of `close` looked for from `start` (or to the end of
        the text), line ends kept; returns where the scan goes on."""
        j = text.find(close, start)
        j = n if j < 0 else j + (len(close) if keep_close else 0)
        for k in range(i, j):
            if out[k] != "\n":
                out[k] = " "
        return j

    line_start = True
    while i < n:
        c = text[i]
        if line_start and text[i:].lstrip(" \t").startswith("#"):
            i = until("\n", i, False)
            continue
        line_start = c == "\n"
        if text.startswith("//", i):
            i = until("\n", i, False)
        elif text.startswith("/*", i):
            i = until("*/", i + 2, True)
        elif text.startswith('R"(', i):
            i = until(')"', i + 3, True)
        elif c in "\"'" and not (c == "'" and i > 0 and text[i - 1].isalnum()):
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            for k in range(i, min(j + 1, n)):
                out[k] = " "
            i = j + 1
        else:
            i += 1
    return "".join(out)


def candidates(path, rel):
    """Every one-token change of one file: (rel, offset, old, new)."""
    text = open(path).read()
    code = blank_out(text)
    found = []
    for m in OPERATOR.finditer(code):
        for new in SWAPS[m.group(1)]:
            found.append((rel, m.start(1), m.group(1), new))
    for m in NUMBER.finditer(code):
        old = m.group(1)
        if len(old) > 1 and old.startswith("0"):
            continue  # octal: a digit more or less may not be one
        value = int(old)
        found.append((rel, m.start(1), old, str(value + 1)))
        if value > 0:
            found.append((rel, m.start(1), old, str(value - 1)))
    for m in RETURN.finditer(code):
        old = m.group(1)
        new = {"true": "false", "false": "true", "0": "1", "1": "0"}[old]
        found.append((rel, m.start(1), old, new))
    for m in NEGATION.finditer(code):
        found.append((rel, m.start(), "!", ""))
    # A number inside "return 0;" is drawn once, as a returned value.
    seen, unique = set(), []
    for c in found:
        if (c[1], c[3]) not in seen:
            seen.add((c[1], c[3]))
            unique.append(c)
    return unique


def line_of(text, offset):
    start = text.rfind("\n", 0, offset) + 1
    end = text.find("\n", offset)
    return text.count("\n", 0, offset) + 1, text[start:end if end >= 0 else len(text)].strip()


def load_known():
    known = {}
    if os.path.exists(KNOWN):
        for raw in open(KNOWN):
            if not raw.strip() or raw.startswith("#"):
                continue
            # The line itself may hold " | " (flags or'ed together): it is all between the
            # first field and the last two.
            parts = [p.strip() for p in raw.rstrip("\n").split(" | ")]
            if len(parts) >= 4:
                known[(parts[0], " | ".join(parts[1:-2]), parts[-2])] = parts[-1]
    return known


def run(cmd, cwd, timeout, env=None):
    """(exit status, output); a run past the time box is killed with its whole group."""
    p = subprocess.Popen(cmd, cwd=cwd, env=env, stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT, text=True, start_new_session=True)
    try:
        out, _ = p.communicate(timeout=timeout)
        return p.returncode, out
    except subprocess.TimeoutExpired:
        os.killpg(p.pid, 9)
        out, _ = p.communicate()
        return None, out
    except BaseException:  # stopped (Ctrl-C, kill): the step goes too
        os.killpg(p.pid, 9)
        raise


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("-n", type=int, default=20, help="mutants to draw (default 20)")
    ap.add_argument("--seed", type=int, help="the draw to repeat")
    ap.add_argument("--timeout", type=int, default=600, help="time box of one suite run")
    ap.add_argument("--build-type", default="RelWithDebInfo")
    ap.add_argument("--jobs", type=int, default=2)
    args = ap.parse_args()
    # A stopped run still removes its temporary folder.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("mutate: stopped"))
    seed = args.seed if args.seed is not None else random.SystemRandom().randrange(1 << 32)
    print(f"seed {seed}", flush=True)

    sources = sorted(f for f in os.listdir(os.path.join(TOP, "installer")) if f.endswith(".cpp"))
    pool = []
    for f in sources:
        text = open(os.path.join(TOP, "installer", f)).read()
        for c in candidates(os.path.join(TOP, "installer", f), "installer/" + f):
            # Drawn by a digest of the seed and the change in its line, not by position, so
            # a seed draws the same mutants again after edits elsewhere in the sources.
            _, line = line_of(text, c[1])
            column = c[1] - text.rfind("\n", 0, c[1])
            key = f"{seed}|{c[0]}|{line}|{column}|{c[2]}|{c[3]}".encode()
            pool.append((hashlib.sha256(key).digest(), c))
    pool = [c for _, c in sorted(pool)]
    known = load_known()

    scratch = tempfile.mkdtemp(prefix="mutate.")
    try:
        tree, build, tmp = (os.path.join(scratch, d) for d in ("tree", "build", "tmp"))
        os.mkdir(tmp)
        files = subprocess.run(["git", "ls-files", "-z"], cwd=TOP, check=True,
                               capture_output=True, text=True).stdout.split("\0")
        for f in filter(None, files):
            src = os.path.join(TOP, f)
            if os.path.isfile(src) or os.path.islink(src):
                os.makedirs(os.path.dirname(os.path.join(tree, f)), exist_ok=True)
                shutil.copy2(src, os.path.join(tree, f), follow_symlinks=False)
        env = dict(os.environ, TMPDIR=tmp)
        configure = ["cmake", "-S", tree, "-B", build, "-DCMAKE_CXX_COMPILER=g++",
                     f"-DCMAKE_BUILD_TYPE={args.build_type}", "-DINSTALLER_WERROR=ON"]
        make = ["cmake", "--build", build, "-j", str(args.jobs)]
        suite = ["ctest", "--test-dir", build, "-j", str(args.jobs), "-E", SKIP_TESTS,
                 "--timeout", "120", "--stop-on-failure"]
        # ctest starts the longest tests first once it has timed a run, and a stopped run
        # still waits for what it started: forgetting the times keeps the declared order.
        costs = os.path.join(build, "Testing", "Temporary", "CTestCostData.txt")

        def test(timeout):
            if os.path.exists(costs):
                os.remove(costs)
            return run(suite, tree, timeout, env)

        for step in (configure, make):
            status, out = run(step, tree, None, env)
            if status != 0:
                print(out[-3000:])
                sys.exit("mutate: the unchanged tree does not build")
        started = time.time()
        status, out = test(args.timeout)
        if status != 0:
            print(out[-3000:])
            sys.exit("mutate: the suite fails on the unchanged tree")
        print(f"the suite on the unchanged tree: {time.time() - started:.0f} s", flush=True)

        killed, survivors, drawn, unbuilt = 0, [], 0, 0
        first = time.time()
        for rel, offset, old, new in pool:
            if drawn == args.n:
                break
            path = os.path.join(tree, rel)
            original = open(path).read()
            number, line = line_of(original, offset)
            began = time.time()
            open(path, "w").write(original[:offset] + new + original[offset + len(old):])
            try:
                status, out = run(make, tree, args.timeout, env)
                if status != 0:
                    unbuilt += 1
                    continue
                drawn += 1
                status, out = test(args.timeout)
            finally:
                open(path, "w").write(original)
            change = f"{old} -> {new or '(dropped)'}"
            what = f"{rel}:{number}: {change} in: {line}"
            if status == 0:
                reason = known.get((rel, line, change))
                survivors.append((what, reason))
                verdict = "SURVIVED" + (f" (known: {reason})" if reason else "")
            else:
                killed += 1
                verdict = "killed" if status is not None else "killed (time box)"
            spent = time.time() - began
            print(f"[{drawn}/{args.n}] {verdict} ({spent:.0f} s): {what}", flush=True)

        if drawn == 0:
            sys.exit("mutate: no mutant built")
        explained = sum(1 for _, reason in survivors if reason)
        each = (time.time() - first) / drawn
        print(f"\nseed {seed}: {drawn} mutants ({unbuilt} more did not build), {each:.0f} s each")
        print(f"killed {killed} of {drawn}: {100 * killed / drawn:.0f}%")
        if drawn > explained:
            rate = 100 * killed / (drawn - explained)
            print(f"without the {explained} known to change nothing: {rate:.0f}%")
        for what, reason in survivors:
            print(f"  survivor: {what}" + (f"  [known: {reason}]" if reason else ""))
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
