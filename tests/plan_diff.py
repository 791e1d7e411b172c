"""The two halves of plan_diff.sh.

snap WORK: what the working folder holds, as JSON.
compare WORK SCRATCH: the run's created, changed and removed entries (the working folder
against its snapshot, the overlays' upper folders against what lies below them) against
the plan of the flow whose copy step ran; prints the differences and PASS or SKIP last.
"""
import grp
import hashlib
import json
import os
import pwd
import re
import stat
import sys

TOPS = ("etc", "usr", "opt", "var")
# The run's own log in the working folder (and its rotations), which no copy command writes.
OWN = re.compile(r"^[^/]*\.log\d*(\.\d+)?$")


def name(table, ident):
    try:
        return table(ident)[0]
    except KeyError:
        return str(ident)


def state(path):
    """Kind, mode, owner, group and content of an entry; None when there is none."""
    try:
        st = os.lstat(path)
    except OSError:
        return None
    m = st.st_mode
    kind = ("dir" if stat.S_ISDIR(m) else "link" if stat.S_ISLNK(m)
            else "file" if stat.S_ISREG(m) else "other")
    content = ""
    if kind == "file":
        with open(path, "rb") as f:
            content = hashlib.md5(f.read()).hexdigest()
    elif kind == "link":
        content = os.readlink(path)
    return [kind, "%04o" % stat.S_IMODE(m), name(pwd.getpwuid, st.st_uid),
            name(grp.getgrgid, st.st_gid), content]


def walk(top, own=False):
    """Every entry below top (not following links), by path; with own, less the log."""
    found = {}
    for folder, dirs, files in os.walk(top):
        for entry in dirs + files:
            path = os.path.join(folder, entry)
            if not (own and OWN.match(os.path.relpath(path, top))):
                found[path] = state(path)
    return found


def changes(before, after):
    out = {}
    for path in set(before) | set(after):
        b, a = before.get(path), after.get(path)
        if b is None and a is not None:
            out[path] = ("+", a)
        elif b is not None and a is None:
            out[path] = ("-", None)
        elif b != a:
            out[path] = ("~", a)
    return out


def run_changes(work, scratch, before_work):
    work = os.path.realpath(work)
    before = dict(before_work)
    after = walk(work, True)
    after.update(walk("/dev"))
    for top in TOPS:
        upper = os.path.join(scratch, "up", top)
        lowers = [os.path.join(scratch, "overlay", top), os.path.join(scratch, "low", top)]

        def below(rel):
            for low in lowers:
                s = state(os.path.join(low, rel))
                if s is not None:
                    return s
            return None

        for folder, dirs, files in os.walk(upper):
            for entry in dirs + files:
                rel = os.path.relpath(os.path.join(folder, entry), upper)
                path = "/%s/%s" % (top, rel)
                before[path] = below(rel)
                after[path] = state(path)
                # A folder that was removed and made again hides everything below it.
                if entry in dirs and opaque(os.path.join(folder, entry)):
                    for low in lowers:
                        for p in walk(os.path.join(low, rel)):
                            sub = os.path.relpath(p, os.path.join(low, rel))
                            full = os.path.join(path, sub)
                            before.setdefault(full, below(os.path.join(rel, sub)))
                            after.setdefault(full, state(full))
    return changes(before, after)


def opaque(folder):
    try:
        return os.getxattr(folder, "trusted.overlay.opaque", follow_symlinks=False) == b"y"
    except OSError:
        return False


def flow_run(console):
    """The action of the one flow whose copy step ran; None, or "many"."""
    ran, title = [], None
    for line in console.splitlines():
        if re.search(r"(Copying files|Removing files|Executing)\[", line):
            ran.append(title)
            continue
        m = re.search(r"\[([^][]+)\]$", line)
        if m:
            title = m.group(1)
    if len(ran) != 1 or ran[0] is None:
        return "many" if ran else None
    return ran[0].lower() if ran[0] in ("Install", "Upgrade", "Remove") else "special:" + ran[0]


def planned(path):
    with open(path) as f:
        plan = json.load(f)
    ops = {"create": "+", "change": "~", "remove": "-"}
    out = {}
    for e in plan["entries"]:
        a = e["after"]
        out[e["path"]] = (ops[e["op"]],
                          None if a is None else [a["type"], a["mode"], a["owner"], a["group"]])
    return out


def compare(work, scratch):
    with open(os.path.join(scratch, "stdout"), errors="replace") as f:
        action = flow_run(f.read())
    if action is None:
        print("SKIP: no copy step ran")
        return 0
    if action == "many":
        print("SKIP: more than one copy step ran; a plan shows one")
        return 0
    plan_file = os.path.join(scratch, "plan." + action)
    if not os.path.exists(plan_file):
        print("no plan for %s" % action)
        return 1
    with open(os.path.join(scratch, "before")) as f:
        run = run_changes(work, scratch, json.load(f))
    plan = planned(plan_file)
    bad = []
    for path in sorted(set(run) | set(plan)):
        r, p = run.get(path), plan.get(path)
        if r is None:
            bad.append("%s %s: planned, not done" % (p[0], path))
        elif p is None:
            bad.append("%s %s: done, not planned" % (r[0], path))
        elif r[0] != p[0]:
            bad.append("%s: run %s, plan %s" % (path, r[0], p[0]))
        elif r[1] is not None and r[1][:4] != p[1]:
            bad.append("%s: run %s, plan %s" % (path, " ".join(r[1][:4]), " ".join(p[1])))
    for line in bad:
        print(line)
    if bad:
        print("%s: the plan and the run differ" % action)
        return 1
    print("PASS: %s, %d entries" % (action, len(run)))
    return 0


def main():
    if sys.argv[1] == "snap":
        # The devices too: a change of owner or mode can reach one through a link.
        entries = walk(os.path.realpath(sys.argv[2]), True)
        entries.update(walk("/dev"))
        json.dump(entries, sys.stdout)
        return 0
    return compare(sys.argv[2], sys.argv[3])


if __name__ == "__main__":
    sys.exit(main())
