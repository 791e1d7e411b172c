# -*- coding: utf-8 -*-
# Runs a product's console installer (install, upgrade, remove or a special section) the
# way an administrator would: it types each answer at the question that asks for it.
# MIT License (see the LICENSE file of cgi-install).

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: product
short_description: Install, upgrade or remove a product with its console installer
description:
  - Runs the installer C(install) of a product folder that is already on the host, from
    that folder, choosing the action at the menu (or with C(-special TAG)) and typing each
    answer given in I(answers) at the question that asks for its setting. The questions are
    read from the product's C(install.q); every other question takes its default.
  - Answers typed at the questions win over the defaults file and over what the init file
    sets at start-up (the web server's values, answers saved by an earlier run). An answer
    that the run would not use (no question of the section asks for it, its question is
    skipped by its control, a later computed entry replaces it, or the installer refuses it)
    makes the task fail before anything is copied, naming the setting and what replaced it.
  - The product's own files are left as they were. The installer's log of the run goes to a
    private file that lives only as long as the run (a private mount namespace when the
    module runs as root and C(unshare) exists), so that a killed run leaves none of the
    answers behind; the module returns the Error lines and the tail of that log.
  - C(changed) compares, before and after the run, the type, mode, owner, group and content
    digest of every path of the run's plan (C(install-check --plan ACTION --format json),
    when the tool is found) and of the product's own files.
  - In check mode nothing runs but the plan, with the same answers; diff mode shows, per path,
    the type, mode, owner, group and size before and after.
version_added: "1.0.0"
author: cgi-install maintainers
options:
  product:
    description: The product's folder, holding its companion files.
    type: path
    required: true
  action:
    description: The flow to run. C(special) runs the section named by I(tag).
    type: str
    choices: [install, upgrade, remove, special]
    default: install
  tag:
    description: The section run by I(action=special).
    type: str
  answers:
    description:
      - Setting names and the answer typed at the question of each, for this run only.
      - True and false become C(yes) and C(no); numbers are typed as written.
    type: dict
    default: {}
  installer:
    description: The installer to run; by default the product's own C(install).
    type: path
  check_tool:
    description:
      - The C(install-check) tool that gives the plan; by default the one beside the
        installer, then the one on C(PATH). Without it check mode cannot run and the real
        run compares only the product's files.
    type: path
  once:
    description:
      - With I(action=install), install only where the product finds no earlier install of
        its own; where its init commands make Upgrade the menu's default, nothing is run
        and the task reports no change (the answers are then not typed; the message names
        them). Use the upgrade to change an installed product.
    type: bool
    default: false
  timeout:
    description: Seconds the installer may stay silent before it is stopped and the task fails.
    type: int
    default: 300
notes:
  - Supports check mode and diff mode. Run it as root, since the installer sets owners.
  - The installer's exit status says nothing; this module reads its console instead.
'''

EXAMPLES = r'''
- name: Install WebNotes with this host's answers
  cgi_install.deploy.product:
    product: /opt/webnotes-1.2
    action: install
    answers:
      cgi_dir: /srv/cgi-bin
      title: Team notes
      set_owner: true

- name: Back up its configuration
  cgi_install.deploy.product:
    product: /opt/webnotes-1.2
    action: special
    tag: backup
    answers:
      backup_dir: /root/webnotes-backup
'''

RETURN = r'''
msg:
  description: What happened, or why the task failed.
  type: str
  returned: always
console:
  description: The last lines the installer printed.
  type: list
  elements: str
  returned: when the installer ran
log:
  description: The last lines of the installer's log of this run.
  type: list
  elements: str
  returned: when the installer ran
log_errors:
  description: The Error lines of the installer's log of this run.
  type: list
  elements: str
  returned: when the installer ran
asked:
  description: The settings whose questions were asked, in order.
  type: list
  elements: str
  returned: when the installer ran
plan:
  description: The paths the run would create, change and remove (check mode) or did.
  type: dict
  returned: when a plan was made
  sample: {"create": ["/srv/cgi-bin/webnotes"], "change": [], "remove": []}
'''

import grp
import hashlib
import json
import os
import pwd
import re
import select
import shutil
import signal
import stat
import subprocess
import tempfile
import time

from ansible.module_utils.basic import AnsibleModule

ASKED_TYPES = ('text', 'yn', 'dir', 'direxist', 'dirempty', 'file', 'fileexist', 'filename')
COMPUTED_TYPES = ('copy', 'exist', 'error', 'loop')
MENU_NUMBER = {'install': '1', 'upgrade': '2', 'remove': '3'}
TAIL = 40

MENU_RE = re.compile(r'What would you like to do\[(\d+)\]\? $')
REVIEW = 'Do you want to change your answers [n]? '
PRESS_ENTER = '<Press enter to exit>'
RETRY_RE = re.compile(r'^Error: (.*), please try again$', re.M)
FAILED_LINE_RE = re.compile(r'^(Failed,|Error:|ERROR:)')


def unescape(text):
    """The question text as the installer shows it: \\n, \\t and \\x escapes converted."""
    out, i = [], 0
    while i < len(text):
        if text[i] == '\\':
            if i + 1 == len(text):
                break
            out.append({'n': '\n', 't': '\t'}.get(text[i + 1], text[i + 1]))
            i += 2
        else:
            out.append(text[i])
            i += 1
    return ''.join(out)


def parse_entry(line):
    word = line.split(None, 1)[0].lower()
    if word == 'exist':
        f = line.split(None, 3)
        return None if len(f) < 3 else {'type': word, 'text': f[1], 'setting': f[2]}
    if word == 'loop':
        f = line.split(None, 3)
        return None if len(f) < 3 else {'type': word, 'setting': f[1], 'text': f[2]}
    if word == 'error':
        f = line.split(None, 3)
        return None if len(f) < 4 else {'type': word, 'setting': f[1], 'text': unescape(f[3])}
    # The long form: asked questions, "Copy", and words the installer does not know (which
    # it asks like a text question).
    f = line.split(None, 5)
    if len(f) < 6:
        return None
    none = lambda v: None if v == '-' else v
    return {'type': word if word in ASKED_TYPES + COMPUTED_TYPES else 'text',
            'setting': f[1], 'control': none(f[2]), 'compare': none(f[3]),
            'text': unescape(f[5])}


def load_questions(path, section):
    """The entries of one section of the question file, or None when it has no such section."""
    entries, inside, found = [], False, False
    with open(path, 'r', errors='replace') as f:
        for raw in f:
            line = raw.strip()
            if not line or line[0] == '#':
                continue
            if line[0] == '[':
                name = line[1:-1] if line.endswith(']') else line[1:]
                inside = name.lower() == section.lower()
                found = found or inside
                continue
            if inside:
                entry = parse_entry(line)
                if entry:
                    entry['index'] = len(entries)
                    entries.append(entry)
    if not found:
        return None
    for e in entries:
        if e['type'] in ASKED_TYPES:
            e['pattern'] = prompt_pattern(e['text'])
            e['weight'] = len(re.sub(r'\$\([^)]*\)|\s', '', e['text']))
    return entries


def squeeze(text):
    return re.sub(r'\s+', '', text)


def prompt_pattern(text):
    """A question's prompt, wherever the installer wrapped it and whatever its references
    hold: compared without white space, each $(name) matching any text."""
    parts = re.split(r'\$\([^)]*\)', text)
    body = '.*?'.join(re.escape(squeeze(p)) for p in parts)
    return re.compile(body + r'\[.*\]\?$', re.S)


def static_problems(entries, answers, section):
    """Answers that no run of this section can use, found before the installer starts."""
    problems = []
    for name in answers:
        asked = [e for e in entries if e['type'] in ASKED_TYPES and e['setting'] == name]
        if not asked:
            problems.append("answer for '%s' is not used: no question of the [%s] section of "
                            "install.q asks for it" % (name, section))
            continue
        last = asked[-1]['index']
        later = [e for e in entries[last + 1:] if e['setting'] == name and e['type'] == 'copy']
        if later:
            problems.append("answer for '%s' would be replaced by the value of setting '%s' "
                            "(install.q's Copy entry after its question)"
                            % (name, later[0]['text']))
    return problems


def typed(value):
    if isinstance(value, bool):
        return 'yes' if value else 'no'
    return str(value)


def answer_problems(answers):
    problems = []
    for name, value in answers.items():
        if '\n' in value or '\r' in value:
            problems.append("answer for '%s' holds a line end: one line is typed" % name)
        elif value.strip() == '':
            problems.append("answer for '%s' is empty: the question would take its default"
                            % name)
        elif value.lower() in ('q', 'b'):
            problems.append("answer for '%s' is '%s', which the installer reads as %s"
                            % (name, value, 'quit' if value.lower() == 'q' else 'back'))
        elif value != value.rstrip():
            problems.append("answer for '%s' ends in white space, which the installer drops"
                            % name)
    return problems


# --- the state of the disk ------------------------------------------------------------------

def digest(path):
    h = hashlib.sha256()
    with open(path, 'rb') as f:
        for block in iter(lambda: f.read(1 << 16), b''):
            h.update(block)
    return h.hexdigest()


def describe(path):
    """What is at path: None when nothing, else type, mode, owner, group, size, content."""
    try:
        st = os.lstat(path)
    except OSError:
        return None
    d = {'mode': '%04o' % stat.S_IMODE(st.st_mode), 'uid': st.st_uid, 'gid': st.st_gid}
    if stat.S_ISREG(st.st_mode):
        d.update(type='file', size=st.st_size)
        try:
            d['sha256'] = digest(path)
        except OSError:
            d['sha256'] = None
    elif stat.S_ISDIR(st.st_mode):
        d['type'] = 'dir'
    elif stat.S_ISLNK(st.st_mode):
        d.update(type='link', target=os.readlink(path))
    else:
        d['type'] = 'other'
    return d


def product_files(product):
    """The product folder's own files; the installer's log is the run's, not the product's."""
    found = []
    for top, dirs, files in os.walk(product):
        for name in dirs + files:
            path = os.path.join(top, name)
            if top == product and re.match(r'install\.log[0-4]?$', name):
                continue
            found.append(path)
    return found


def snapshot(paths):
    return dict((p, describe(p)) for p in paths)


def show(d):
    if d is None:
        return ''
    lines = ['type: %s' % d['type'], 'mode: %s' % d['mode'],
             'owner: %s' % id_name(d.get('uid'), d.get('owner'), pwd.getpwuid),
             'group: %s' % id_name(d.get('gid'), d.get('group'), grp.getgrgid)]
    if d.get('size') is not None:
        lines.append('size: %s' % d['size'])
    if d.get('sha256'):
        lines.append('sha256: %s' % d['sha256'])
    if d.get('target'):
        lines.append('target: %s' % d['target'])
    if d.get('source'):
        lines.append('source: %s' % d['source'])
    return '\n'.join(lines) + '\n'


def id_name(number, name, lookup):
    """The name the plan gave, or the one the host's user or group database holds for the
    number (lookup: pwd.getpwuid or grp.getgrgid), or the number itself."""
    if name is not None or number is None:
        return name
    try:
        return lookup(number)[0]
    except KeyError:
        return str(number)


# --- the plan -------------------------------------------------------------------------------

def find_check_tool(module, installer):
    given = module.params['check_tool']
    if given:
        return given if os.access(given, os.X_OK) else None
    beside = os.path.join(os.path.dirname(installer), 'install-check')
    if os.access(beside, os.X_OK):
        return beside
    return module.get_bin_path('install-check')


def plan_action(action, tag):
    return 'special:%s' % tag if action == 'special' else action


def run_plan(tool, product, action, answers, fmt):
    cmd = [tool, '--plan', action]
    if fmt:
        cmd += ['--format', fmt]
    for name, value in sorted(answers.items()):
        cmd += ['--set', '%s=%s' % (name, value)]
    cmd.append(product)
    p = subprocess.run(cmd, cwd=product, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                       stderr=subprocess.PIPE, universal_newlines=True, errors='replace')
    return p.returncode, p.stdout, p.stderr


def json_plan(tool, product, action, answers):
    """The plan as an object, or None when the tool gives no JSON."""
    rc, out, err = run_plan(tool, product, action, answers, 'json')
    try:
        plan = json.loads(out)
    except ValueError:
        return None
    return plan if isinstance(plan, dict) and 'entries' in plan else None


def planned_paths(tool, product, action, answers):
    """The absolute paths a run would touch: from the JSON plan, or else every path the
    tool's plain plan names after its settings."""
    plan = json_plan(tool, product, action, answers)
    if plan is not None:
        return [e['path'] for e in plan['entries']]
    rc, out, err = run_plan(tool, product, action, answers, None)
    body = out.split('\nSettings:\n', 1)[-1]
    body = body[body.find('\n[') + 1:] if '\n[' in body else ''
    return sorted(set(p.rstrip('/') or '/' for p in re.findall(r'(?:^|\s)(/[^\s]+)', body)))


def plan_setting(tool, product, action, name):
    """The value a setting holds when its question is not asked (the plan's settings)."""
    if not tool:
        return None
    rc, out, err = run_plan(tool, product, action, {}, None)
    m = re.search(r'^  %s=(.*)$' % re.escape(name), out, re.M)
    return m.group(1) if m else None


def plan_report(plan):
    """check mode: what would be created, changed and removed, and the diff per path."""
    report = {'create': [], 'change': [], 'remove': []}
    diff = []
    for e in plan['entries']:
        before, after = e.get('before'), e.get('after')
        if e['op'] == 'change' and before and after and would_stay(e['path'], before, after):
            continue
        report[e['op']].append(e['path'])
        diff.append({'before_header': e['path'], 'after_header': e['path'],
                     'before': show(before), 'after': show(after)})
    return report, diff


def would_stay(path, before, after):
    """A planned change that leaves the path as it is: same type, mode, owner and group, and,
    for a copied file, the same bytes as its source."""
    for key in ('type', 'mode', 'owner', 'group'):
        if after.get(key) is not None and after.get(key) != before.get(key):
            return False
    if before.get('type') != 'file':
        return before.get('type') == after.get('type')
    source = after.get('source')
    if not source:
        return False
    try:
        return digest(source) == digest(path)
    except OSError:
        return False


# --- the console ----------------------------------------------------------------------------

class Console(object):
    """Drives one run of the installer: reads what it prints and types at each prompt."""

    def __init__(self, entries, answers, action, timeout, once=False):
        self.entries = entries
        self.answers = answers
        self.action = action
        self.once = once
        self.installed = False
        self.timeout = timeout
        self.transcript = ''
        self.pending = ''
        self.used = set()
        self.asked = []
        self.menus = 0
        self.reviews = 0
        self.problem = None
        self.aborting = False
        self.last = None
        self.waiting = False   # a prompt no question matches: more output may complete it
        self.settled = False   # ... and none came: it is a prompt of its own

    def match(self, text):
        flat = squeeze(text)
        found = [e for e in self.entries if 'pattern' in e and e['pattern'].search(flat)]
        if not found:
            return None
        # The most specific text; among equals, the next one after the last question.
        best = max(e['weight'] for e in found)
        found = [e for e in found if e['weight'] == best]
        after = [e for e in found if self.last is not None and e['index'] > self.last['index']]
        return (after or found)[0]

    def reply(self):
        """The line to type at the prompt that ends pending, '' for Enter; None while the
        output does not end at a prompt; False to stop the installer."""
        out = self.pending
        if out.endswith(PRESS_ENTER):
            return ''
        if not out.endswith('? '):
            return None
        menu = MENU_RE.search(out)
        if menu:
            self.menus += 1
            if self.menus == 1 and self.once and menu.group(1) == MENU_NUMBER['upgrade']:
                self.installed = True
                return '4'
            if self.menus == 1 and not self.aborting:
                return MENU_NUMBER[self.action]
            if not self.aborting:
                self.fail('the flow returned to the menu without running')
            return '4'
        if out.endswith(REVIEW):
            self.reviews += 1
            if self.aborting:
                # No question was asked again, so there is nothing to quit at: stop the
                # installer before it copies anything.
                return False
            unused = [n for n in self.answers if n not in self.used]
            if unused:
                self.fail(self.unused_reason(unused))
                return 'y'
            return 'n'
        entry = self.match(out)
        if entry is None:
            if not self.settled:
                self.waiting = True
                return None
            entry = {'setting': None, 'index': -1}
        retry = RETRY_RE.search(out)
        if self.aborting:
            return 'q'
        if retry:
            name = self.last['setting'] if self.last else entry['setting']
            if retry.group(1) == 'You must enter an answer':
                self.fail("the question for '%s' was left without an answer" % name)
            else:
                self.fail("the answer for '%s' was refused: %s" % (name, retry.group(1)))
            return 'q'
        self.last = entry
        name = entry['setting']
        self.asked.append(name)
        if name in self.answers:
            self.used.add(name)
            return self.answers[name]
        return ''

    def fail(self, why):
        if self.problem is None:
            self.problem = why
        self.aborting = True

    def unused_reason(self, unused):
        parts = []
        for name in unused:
            gates = ['%s=%s' % (e['control'], e['compare'] or 'true') for e in self.entries
                     if e['type'] in ASKED_TYPES and e['setting'] == name and e.get('control')]
            why = "answer for '%s' was not used: its question was not asked" % name
            if gates:
                why += ' (it is asked only when %s)' % ' or '.join(gates)
            parts.append(why)
        return '; '.join(parts)

    def run(self, argv, cwd, logfd=None):
        """Runs argv and answers it; returns the log text read from logfd (if any)."""
        proc = subprocess.Popen(argv, cwd=cwd, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, start_new_session=True,
                                pass_fds=(logfd[1],) if logfd else ())
        if logfd:
            os.close(logfd[1])
        readers = {proc.stdout.fileno(): 'out'}
        if logfd:
            readers[logfd[0]] = 'log'
        log = []
        deadline = time.time() + self.timeout
        try:
            while readers:
                ready, _, _ = select.select(list(readers), [], [], 0.3 if self.waiting else 1)
                if not ready:
                    if self.waiting:
                        self.settled = True
                        self.answer(proc)
                    elif time.time() > deadline:
                        self.fail('the installer printed nothing for %d seconds'
                                  % self.timeout)
                        break
                    continue
                deadline = time.time() + self.timeout
                for fd in ready:
                    data = os.read(fd, 65536)
                    if not data:
                        del readers[fd]
                        continue
                    if readers[fd] == 'log':
                        log.append(data)
                        continue
                    text = data.decode('utf-8', 'replace')
                    self.transcript += text
                    self.pending += text
                    self.answer(proc)
        finally:
            if proc.poll() is None:
                try:
                    os.killpg(proc.pid, signal.SIGKILL)
                except OSError:
                    pass
            proc.wait()
            if logfd:
                os.close(logfd[0])
        return b''.join(log).decode('utf-8', 'replace')

    def answer(self, proc):
        line = self.reply()
        if line is None:
            return
        if line is False:
            os.killpg(proc.pid, signal.SIGKILL)
            return
        self.pending = ''
        self.waiting = self.settled = False
        # As a terminal would echo it: what follows starts on a line of its own.
        self.transcript += line + '\n'
        try:
            proc.stdin.write((line + '\n').encode('utf-8'))
            proc.stdin.flush()
        except (BrokenPipeError, OSError):
            pass


# Runs the installer in a private mount namespace where its log (NAME.log in the product
# folder) is a file on a private tmpfs: the log of this run, which records every answer, is
# never written to disk and goes away with the run, even a killed one. The log comes back on
# the descriptor LOGFD after a first line "started", which says the mounts were made.
PRIVATE_LOG = r'''
dir=$1 log=$2; shift 2
mount -t tmpfs -o size=8m,mode=0700 cgi-install-log "$dir" 2>/dev/null || exit 97
: > "$dir/log"
made=
[ -e "$log" ] || { : > "$log" && made=1; } || exit 97
mount --bind "$dir/log" "$log" 2>/dev/null || { [ -z "$made" ] || rm -f "$log"; exit 97; }
echo started >&LOGFD
"$@"
umount "$log"
[ -z "$made" ] || rm -f "$log"
cat "$dir/log" >&LOGFD
'''


def run_installer(module, make_console, argv, product):
    '''Runs the installer with its log kept private to the run where that is possible;
    returns the console, the log of the run and a warning (or None).'''
    logpath = os.path.join(product, os.path.basename(argv[0]).split('.')[0] + '.log')
    unshare = module.get_bin_path('unshare')
    if os.geteuid() == 0 and unshare and module.get_bin_path('mount'):
        tmp = tempfile.mkdtemp(prefix='cgi-install.')
        try:
            console = make_console()
            r, w = os.pipe()
            wrapped = [unshare, '-m', '/bin/sh', '-c', PRIVATE_LOG.replace('LOGFD', str(w)),
                       'private-log', tmp, logpath] + argv
            text = console.run(wrapped, product, (r, w))
        finally:
            shutil.rmtree(tmp, ignore_errors=True)
        if text.startswith('started\n'):
            return console, text[len('started\n'):], None
    # No private mount here (no right to mount): the log is written where it always is and
    # put back as it was afterwards.
    saved, st = None, None
    if os.path.exists(logpath):
        with open(logpath, 'rb') as f:
            saved = f.read()
        st = os.stat(logpath)
    console = make_console()
    text = b''
    try:
        console.run(argv, product)
    finally:
        if os.path.exists(logpath):
            with open(logpath, 'rb') as f:
                text = f.read()
            if saved is None:
                os.unlink(logpath)
        if saved is not None:
            with open(logpath, 'wb') as f:
                f.write(saved)
            os.chmod(logpath, stat.S_IMODE(st.st_mode))
            os.utime(logpath, (st.st_atime, st.st_mtime))
            text = text[len(saved):] if text.startswith(saved) else text
    return console, text.decode('utf-8', 'replace'), \
        'no private mount for the installer log: it was written in the product folder and ' \
        'put back as it was after the run'


def installed_already(answers):
    msg = 'installed already (the installer offers Upgrade): nothing was run'
    if answers:
        msg += '; answers not typed: %s' % ', '.join(sorted(answers))
    return msg


def main():
    module = AnsibleModule(
        argument_spec=dict(
            product=dict(type='path', required=True),
            action=dict(type='str', default='install',
                        choices=['install', 'upgrade', 'remove', 'special']),
            tag=dict(type='str'),
            answers=dict(type='dict', default={}),
            installer=dict(type='path'),
            check_tool=dict(type='path'),
            once=dict(type='bool', default=False),
            timeout=dict(type='int', default=300),
        ),
        required_if=[('action', 'special', ['tag'])],
        supports_check_mode=True,
    )
    p = module.params
    product = os.path.realpath(p['product'])
    action = p['action']
    section = p['tag'] if action == 'special' else action
    installer = p['installer'] or os.path.join(product, 'install')
    answers = dict((k, typed(v)) for k, v in p['answers'].items())
    result = dict(changed=False)

    if not os.path.isdir(product):
        module.fail_json(msg="no product folder '%s'" % product, **result)
    if not os.access(installer, os.X_OK):
        module.fail_json(msg="no installer '%s' to run" % installer, **result)
    qfile = os.path.join(product, os.path.basename(installer).split('.')[0] + '.q')
    try:
        entries = load_questions(qfile, section)
    except (IOError, OSError) as e:
        module.fail_json(msg="cannot read %s: %s" % (qfile, e), **result)
    if entries is None:
        module.fail_json(msg="%s has no [%s] section" % (qfile, section), **result)
    problems = answer_problems(answers) + static_problems(entries, answers, section)
    if problems:
        module.fail_json(msg='; '.join(problems), **result)

    tool = find_check_tool(module, installer)
    paction = plan_action(action, p['tag'])
    once = p['once'] and action == 'install'
    if module.check_mode:
        if once and tool and plan_setting(tool, product, 'install', 'action') == 'upgrade':
            result['msg'] = installed_already(answers)
            module.exit_json(**result)
        plan = json_plan(tool, product, paction, answers) if tool else None
        if plan is None:
            module.fail_json(msg='check mode needs the plan of install-check --plan ACTION '
                                 '--format json, which %s does not give'
                                 % (tool or 'no install-check found'), **result)
        report, diff = plan_report(plan)
        result.update(plan=report, changed=bool(diff))
        if module._diff:
            result['diff'] = diff
        if plan.get('stops'):
            s = plan['stops']
            result['msg'] = 'the run would stop at %s:%s (%s): %s' % (
                s.get('file'), s.get('line'), s.get('command'), s.get('reason'))
            module.fail_json(**result)
        result['msg'] = '%d to create, %d to change, %d to remove' % tuple(
            len(report[k]) for k in ('create', 'change', 'remove'))
        module.exit_json(**result)

    watched = set(product_files(product))
    if tool:
        watched.update(planned_paths(tool, product, paction, answers))
    before = snapshot(sorted(watched))

    argv = [installer] + (['-special', p['tag']] if action == 'special' else [])
    console, logtext, warning = run_installer(
        module, lambda: Console(entries, answers, action if action != 'special' else 'install',
                                p['timeout'], once), argv, product)
    if warning:
        module.warn(warning)

    # Paths the run made below the planned ones count too (a tree copied whole).
    after_paths = set(watched)
    for path in watched:
        if os.path.isdir(path) and not os.path.islink(path):
            after_paths.update(os.path.join(t, n) for t, ds, fs in os.walk(path) for n in ds + fs)
    after_paths.update(product_files(product))
    after = snapshot(sorted(after_paths))
    report = {'create': [], 'change': [], 'remove': []}
    diff = []
    for path in sorted(after_paths):
        old, new = before.get(path), after.get(path)
        if old == new:
            continue
        report['create' if old is None else 'remove' if new is None else 'change'].append(path)
        diff.append({'before_header': path, 'after_header': path,
                     'before': show(old), 'after': show(new)})

    lines = console.transcript.replace('\r', '').split('\n')
    if console.installed and not diff:
        result.update(msg=installed_already(answers), console=lines[-TAIL:])
        module.exit_json(**result)
    log_lines = [l for l in logtext.split('\n') if l]
    result.update(changed=bool(diff), plan=report, asked=console.asked,
                  console=lines[-TAIL:], log=log_lines[-TAIL:],
                  log_errors=[l for l in log_lines if '] Error: ' in l])
    if module._diff:
        result['diff'] = diff
    bad = [l for l in lines if FAILED_LINE_RE.match(l)]
    if console.problem or bad:
        reason = console.problem or bad[0]
        if console.problem and console.problem.startswith('answer for ') and tool:
            name = re.match(r"answer for '([^']*)'", console.problem).group(1)
            value = plan_setting(tool, product, paction, name)
            if value is not None:
                reason += "; the run keeps '%s' for it" % value
        if bad and console.problem:
            reason += '; ' + bad[0]
        result['msg'] = reason
        module.fail_json(**result)
    done = [l for l in lines if re.match(r'\s*Success ', l)]
    result['msg'] = done[-1].strip() if done else 'the installer ran'
    module.exit_json(**result)


if __name__ == '__main__':
    main()
