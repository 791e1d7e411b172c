#!/usr/bin/env bash
# The sample product against a real Apache.
#
# usage: apache_test.sh INSTALL-BINARY PRODUCT-DIR
#
# Apache serves a scratch folder on 127.0.0.1 as www-data; the installer sees its httpd.conf
# at /etc/apache/httpd.conf through an overlay in a private mount namespace. Install, upgrade,
# backup and remove, fetching the pages in between. Needs root, Debian's apache2-bin and curl;
# skipped only when apache2 is missing. KEEP=1 keeps the scratch folder.
set -uo pipefail

APACHE=/usr/sbin/apache2
MODULES=/usr/lib/apache2/modules
MODS="mpm_prefork authz_core mime dir alias cgi"
WEB_USER=www-data
[ -x "$APACHE" ] || { echo "skipped: $APACHE is not installed (Debian package apache2-bin)"; exit 0; }

passed=0 failed=0
pass() { passed=$((passed + 1)); echo "ok   $*"; }
fail() { failed=$((failed + 1)); echo "FAIL $*"; }
summary() { echo "$passed passed, $failed failed"; [ "$failed" = 0 ]; }
abort() { fail "$*"; summary; exit 1; }  # a missing prerequisite ends the test as one failure

[ $# -ge 2 ] || abort "usage: apache_test.sh INSTALL-BINARY PRODUCT-DIR"
bin=$(readlink -f "$1") product=$(readlink -f "$2")
[ -x "$bin" ] || abort "no installer binary at $1"
[ -f "$product/install.dat" ] || abort "no product at $2"
[ "$(id -u)" = 0 ] || abort "must run as root (mount namespace, owners of installed files)"
command -v curl >/dev/null || abort "curl is not installed"
getent passwd "$WEB_USER" >/dev/null || abort "no user $WEB_USER on this host"
for m in $MODS; do [ -f "$MODULES/mod_$m.so" ] || abort "Apache module mod_$m.so is missing"; done

S=$(mktemp -d "${TMPDIR:-/tmp}/apache-test.XXXXXX")
WORK=$S/product DOCS=$S/www/html CGI=$S/www/cgi-bin CONF=$S/etc/apache/httpd.conf
mkdir -p "$WORK" "$DOCS" "$CGI" "${CONF%/*}" "$S/run" "$S/logs"
chmod -R 755 "$S"  # Apache's children run as www-data and must reach the served folders

apache_pid=
stop_apache() {
  [ -n "$apache_pid" ] || return 0
  kill -TERM "$apache_pid" 2>/dev/null
  for _ in $(seq 50); do kill -0 "$apache_pid" 2>/dev/null || break; sleep 0.1; done
  kill -KILL -- -"$apache_pid" 2>/dev/null  # the whole session, children included
  wait "$apache_pid" 2>/dev/null
  apache_pid=
}
cleanup() { stop_apache; if [ -n "${KEEP:-}" ]; then echo "kept $S"; else rm -rf "$S"; fi; }
trap cleanup EXIT
trap 'exit 130' INT TERM

write_conf() {  # PORT
  cat > "$CONF" <<CONF
ServerRoot "$S"
ServerName 127.0.0.1
Listen 127.0.0.1:$1
PidFile "$S/run/httpd.pid"
DefaultRuntimeDir "$S/run"
ErrorLog "$S/logs/error.log"
LogLevel warn
$(for m in $MODS; do echo "LoadModule ${m}_module $MODULES/mod_$m.so"; done)
StartServers 1
MinSpareServers 1
MaxSpareServers 2
User $WEB_USER
Group $WEB_USER
TypesConfig /dev/null
AddType text/html .html
AddType text/css .css
<Directory />
    Require all denied
</Directory>
DocumentRoot "$DOCS"
<Directory "$DOCS">
    Require all granted
</Directory>
ScriptAlias /cgi-bin/ "$CGI/"
<Directory "$CGI">
    Require all granted
</Directory>
CONF
}

# Apache has the final word on the port: on a taken one it exits and another is tried. The
# probe keeps the readiness check from being answered by somebody else's server.
PORT=
start_apache() {
  for _ in $(seq 10); do
    PORT=$((20000 + RANDOM % 40000))
    (exec 3<> "/dev/tcp/127.0.0.1/$PORT") 2>/dev/null && continue
    write_conf "$PORT"
    # A session of its own: on shutdown Apache signals its whole process group.
    setsid "$APACHE" -f "$CONF" -DFOREGROUND > "$S/logs/console.log" 2>&1 &
    apache_pid=$!
    for _ in $(seq 100); do
      kill -0 "$apache_pid" 2>/dev/null || break
      curl -s -o /dev/null --max-time 2 "http://127.0.0.1:$PORT/" && return 0
      sleep 0.1
    done
    stop_apache
  done
  return 1
}

# usage: run NAME INPUT ARGS... — the installer in the product folder, with Apache's
# httpd.conf as /etc/apache/httpd.conf. Transcript in $S/out.NAME, exit status in $status.
status=
run() {
  local name=$1 input=$2; shift 2
  unshare -m bash -c '
    mount -t overlay overlay -o "lowerdir=$1:/etc" /etc || exit 97
    cd "$2" || exit 98
    shift 2
    exec timeout 60 ./install "$@"' run "$S/etc" "$WORK" "$@" \
    < <(printf '%b' "$input") > "$S/out.$name" 2>&1
  status=$?
}

# check WHAT COMMAND...: one pass when the command succeeds, else one fail showing its output.
check() {
  local what=$1 out; shift
  if out=$("$@" 2>&1); then pass "$what"; else fail "$what"; sed 's/^/  | /' <<< "$out"; fi
}
all() {  # CONDITION...: every piece of shell code succeeds; names the first that does not
  local c
  for c; do eval "$c" || { echo "not so: $c"; return 1; }; done
}
ran() {  # NAME PATTERN...: status 0, no ERROR line, and every (extended) pattern in the transcript
  local p bad=
  [ "$status" = 0 ] || bad="status $status"
  ! grep -q '^ERROR:' "$S/out.$1" || bad="$bad, an ERROR line"
  for p in "${@:2}"; do grep -Eq -- "$p" "$S/out.$1" || bad="$bad, no match for $p"; done
  [ -z "$bad" ] && return
  echo "${bad#, }"; cat "$S/out.$1"; echo "---- end of the log:"; tail -n 20 "$WORK/install.log"
  return 1
}
page() {  # PATH CODE TEXT...: Apache answers with CODE and a body holding every TEXT
  local got t bad=
  got=$(curl -s -o "$S/body" -w '%{http_code}' --max-time 10 "http://127.0.0.1:$PORT$1")
  [ "$got" = "$2" ] || bad="got $got"
  for t in "${@:3}"; do grep -Fq -- "$t" "$S/body" || bad="$bad, no $t"; done
  [ -z "$bad" ] && return
  echo "${bad#, }"; head -n 40 "$S/body"; tail -n 5 "$S/logs/error.log"
  return 1
}
get() { check "GET $1 gives $2${3:+ with: ${*:3}}" page "$@"; }
installed_right() {  # script mode 755, configuration 640, everything www-data's
  local w=$CGI/webnotes
  [ "$(stat -c %a "$w/webnotes.cgi" "$w/webnotes.conf" | xargs)" = "755 640" ] &&
    [ -z "$(find "$w" "$DOCS/webnotes" \( ! -user "$WEB_USER" -o ! -group "$WEB_USER" \) 2>&1)" ] &&
    return
  find "$w" "$DOCS/webnotes" -exec stat -c '%a %U:%G %n' {} +
  return 1
}

# --- the product, as a site would adapt it: defaults the templates must carry onto the
# page, and editor leftovers the install must not publish.
cp -a "$product/." "$WORK/"
cp "$bin" "$WORK/install"
sed -i -e 's/^title .*/title  Apache test notes/' -e 's/^show_env .*/show_env  yes/' "$WORK/install.dat"
touch "$WORK/htdocs/old.bak" "$WORK/htdocs/index.html~"
COPIED='^Success [0-9]+ bytes in [0-9]+ files copied$'
DONE='^ Success [0-9]+ files done\.$'

start_apache || { tail -n 20 "$S"/logs/*; abort "Apache did not start"; }
pass "Apache serves on 127.0.0.1:$PORT"

# --- install
run install '' -automate
check "automated install copies the product" ran install '^\[Install\]$' "$COPIED"
check "script mode 755, configuration 640, all files $WEB_USER's" installed_right
check "editor leftovers are not published" \
  test ! -e "$DOCS/webnotes/old.bak" -a ! -e "$DOCS/webnotes/index.html~"
get /cgi-bin/webnotes/webnotes.cgi 200 \
  "<h1>Apache test notes</h1>" "Welcome to Apache test notes, kept by webmaster@$(uname -n)." \
  "<li>Apache test notes is up and running.</li>" "WebNotes 1.2" \
  "<td>script user</td><td>$WEB_USER</td>" "<td>client</td><td>127.0.0.1</td>"
get /webnotes/ 200 "<h1>WebNotes</h1>" 'href="/cgi-bin/webnotes/webnotes.cgi"'
get /webnotes/style.css 200 "font-family"

# --- upgrade: a new release, and an administrator who edited the configuration
run menu '4\n\n'
check "an earlier install makes Upgrade the menu's default" ran menu 'What would you like to do\[2\]\? '
sed -i 's/^version .*/version           1.3/' "$WORK/install.dat"
echo "# release 1.3" >> "$WORK/cgi/webnotes.cgi"
sed -i 's/^title=.*/title=Edited by the admin/' "$CGI/webnotes/webnotes.conf"
run upgrade '' -automate
check "automated run upgrades an earlier install" ran upgrade '^\[Upgrade\]$' "$COPIED"
check "the upgrade replaces the script" cmp "$WORK/cgi/webnotes.cgi" "$CGI/webnotes/webnotes.cgi"
check "the upgrade keeps the modes and gives new files to $WEB_USER" installed_right
get /cgi-bin/webnotes/webnotes.cgi 200 "<h1>Edited by the admin</h1>" "WebNotes 1.3"

# --- backup, a -special section
run backup '' -automate -special backup
check "-special backup runs its own section" ran backup '^\[backup\]$' "$DONE"
check "the backup holds the edited configuration and the installed version, not the scripts" all \
  'grep -qx "title=Edited by the admin" "$WORK/backup/webnotes.conf"' \
  'grep -q "WebNotes 1.3 configuration" "$WORK/backup/README"' \
  '[ ! -e "$WORK/backup/webnotes.cgi" ]'

# --- remove: without a user, as a -special section whose default keeps the configuration
run remove-auto '' -automate -special remove
check "-automate -special remove runs the remove section" ran remove-auto '^\[remove\]$' "$DONE"
check "the configuration is kept by default" test -f "$CGI/webnotes/webnotes.conf"
get /cgi-bin/webnotes/webnotes.cgi 404
get /webnotes/ 404
# Through the menu: 3, the two folders' defaults, do not keep the configuration, no changes,
# then the closing Enter.
run remove-menu '3\n\n\nn\n\n\n'
check "menu choice 3 removes the product" ran remove-menu '\[Remove\]$' '^ Success [0-9]+ files removed$'
check "the application folder is gone, the server's own folders stay" \
  test ! -e "$CGI/webnotes" -a -d "$CGI" -a -d "$DOCS"
summary
