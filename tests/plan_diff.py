"""The two halves of a plan's comparison with the run (run_scenario.sh with PLAN_DIFF set):
snap WORK, the working folder (and /dev) as JSON; compare WORK SCRATCH, the run's entries
against the plan of the flow whose copy step ran, the differences and PASS or SKIP last."""
import grp, hashlib, json, os, pwd, re, stat, sys

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
    content = (hashlib.md5(open(path, "rb").read()).hexdigest() if kind == "file"
               else os.readlink(path) if kind == "link" else "")
    return [kind, "%04o" % stat.S_IMODE(m), name(pwd.getpwuid, st.st_uid),
            name(grp.getgrgid, st.st_gid), content]


def walk(top, own=False):
    """Every entry below top (not following links), by path; with own, less the log."""
    return {p: state(p) for d, dirs, files in os.walk(top) for p in
            (os.path.join(d, e) for e in dirs + files)
            if not (own and OWN.match(os.path.relpath(p, top)))}


def snap(work):
    # The devices too: a change of owner or mode can reach one through a link.
    return {**walk(os.path.realpath(work), True), **walk("/dev")}


def run_changes(work, scratch, before):
    after = snap(work)
    for top in ("etc", "usr", "opt", "var"):
        upper = os.path.join(scratch, "up", top)
        lowers = [os.path.join(scratch, "overlay", top), os.path.join(scratch, "low", top)]

        def below(rel):
            return next((s for s in (state(os.path.join(low, rel)) for low in lowers) if s), None)

        for folder, dirs, files in os.walk(upper):
            for entry in dirs + files:
                rel = os.path.relpath(os.path.join(folder, entry), upper)
                path = "/%s/%s" % (top, rel)
                before[path], after[path] = below(rel), state(path)
                # A folder that was removed and made again hides everything below it.
                if entry in dirs and opaque(os.path.join(folder, entry)):
                    for low in lowers:
                        for sub in (os.path.relpath(p, low) for p in walk(os.path.join(low, rel))):
                            before.setdefault("/%s/%s" % (top, sub), below(sub))
                            after.setdefault("/%s/%s" % (top, sub), state("/%s/%s" % (top, sub)))
    return {p: ("+", after[p]) if before.get(p) is None else ("-", None) if after.get(p) is None
            else ("~", after[p]) for p in set(before) | set(after) if before.get(p) != after.get(p)}


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
        elif m := re.search(r"\[([^][]+)\]$", line):
            title = m.group(1)
    if len(ran) != 1 or ran[0] is None:
        return "many" if ran else None
    return ran[0].lower() if ran[0] in ("Install", "Upgrade", "Remove") else "special:" + ran[0]


def shown(entry):
    return " ".join([entry[0]] + (entry[1] or [])) if entry else "nothing"


def compare(work, scratch):
    action = flow_run(open(os.path.join(scratch, "stdout"), errors="replace").read())
    if action in (None, "many"):
        print("SKIP: " + ("no copy step ran" if action is None
                          else "more than one copy step ran; a plan shows one"))
        return 0
    plan_file = os.path.join(scratch, "plan." + action)  # made for each action the run may take
    # Each entry as its operation and the kind, mode, owner and group it is left with.
    run = {path: (op, after and after[:4]) for path, (op, after) in
           run_changes(work, scratch, json.load(open(os.path.join(scratch, "before")))).items()}
    ops = {"create": "+", "change": "~", "remove": "-"}
    plan = {e["path"]: (ops[e["op"]], e["after"] and [e["after"][k] for k in
                                                      ("type", "mode", "owner", "group")])
            for e in json.load(open(plan_file))["entries"]}
    bad = ["%s: run %s, plan %s" % (path, shown(run.get(path)), shown(plan.get(path)))
           for path in sorted(set(run) | set(plan)) if run.get(path) != plan.get(path)]
    print("\n".join(bad + ["%s: the plan and the run differ" % action]) if bad
          else "PASS: %s, %d entries" % (action, len(run)))
    return 1 if bad else 0


if __name__ == "__main__":
    if sys.argv[1] == "snap":
        sys.exit(json.dump(snap(sys.argv[2]), sys.stdout))  # None: status 0
    sys.exit(compare(sys.argv[2], sys.argv[3]))
