#!/usr/bin/env bash
# The sample product against a real Apache.
#
# usage: apache_test.sh INSTALL-BINARY PRODUCT-DIR
#
# In a scratch folder: an httpd.conf listening on 127.0.0.1 at a free port, with its
# document root and CGI folder in the scratch folder and User/Group www-data. The installer
# runs in a private mount namespace where an overlay over /etc puts that file at
# /etc/apache/httpd.conf; Apache itself reads it from the scratch folder. The test
# installs, fetches the CGI page and the static page, upgrades, takes a backup, removes
# (once with -special remove, once through the menu) and checks what is served each time.
# Needs root (mount namespace, chown), Debian's apache2-bin and curl; skipped only when
# apache2 is not installed. KEEP=1 leaves the scratch folder behind for a look.
set -uo pipefail

APACHE=/usr/sbin/apache2
MODULES=/usr/lib/apache2/modules
WEB_USER=www-data

if [ ! -x "$APACHE" ]; then
  echo "skipped: $APACHE is not installed (Debian package apache2-bin)"
  exit 0
fi

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "ok   $*"; }
fail() { failed=$((failed + 1)); echo "FAIL $*"; }
summary() {
  echo "$passed passed, $failed failed"
  [ "$failed" = 0 ]
}
# A prerequisite that is missing ends the test as one failure.
abort() {
  fail "$*"
  summary
  exit 1
}

[ $# -ge 2 ] || abort "usage: apache_test.sh INSTALL-BINARY PRODUCT-DIR"
bin=$(readlink -f "$1")
product=$(readlink -f "$2")
[ -x "$bin" ] || abort "no installer binary at $1"
[ -f "$product/install.dat" ] || abort "no product at $2"
[ "$(id -u)" = 0 ] || abort "must run as root (mount namespace, owners of installed files)"
command -v curl >/dev/null || abort "curl is not installed"
getent passwd "$WEB_USER" >/dev/null || abort "no user $WEB_USER on this host"
for m in mpm_prefork authz_core mime dir alias cgi; do
  [ -f "$MODULES/mod_$m.so" ] || abort "Apache module $MODULES/mod_$m.so is missing"
done

S=$(mktemp -d "${TMPDIR:-/tmp}/apache-test.XXXXXX")
chmod 755 "$S"  # Apache's children run as www-data and must reach the served folders
WORK=$S/product
DOCS=$S/www/html
CGI=$S/www/cgi-bin
CONF=$S/conf/httpd.conf
mkdir -p "$WORK" "$DOCS" "$CGI" "$S/conf" "$S/run" "$S/logs" "$S/overlay/etc/apache"
chmod -R 755 "$S/www"

apache_pid=
stop_apache() {
  [ -n "$apache_pid" ] || return 0
  kill -TERM "$apache_pid" 2>/dev/null
  for _ in $(seq 1 50); do
    kill -0 "$apache_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$apache_pid" 2>/dev/null
  wait "$apache_pid" 2>/dev/null
  apache_pid=
}
cleanup() {
  [ -n "${KEEP:-}" ] && { stop_apache; echo "kept $S"; return; }
  stop_apache
  rm -rf "$S"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

write_conf() {
  cat > "$CONF" <<CONF
ServerRoot "$S"
ServerName 127.0.0.1
Listen 127.0.0.1:$1
PidFile "$S/run/httpd.pid"
DefaultRuntimeDir "$S/run"
Mutex file:$S/run default
ErrorLog "$S/logs/error.log"
LogLevel warn
LoadModule mpm_prefork_module $MODULES/mod_mpm_prefork.so
LoadModule authz_core_module $MODULES/mod_authz_core.so
LoadModule mime_module $MODULES/mod_mime.so
LoadModule dir_module $MODULES/mod_dir.so
LoadModule alias_module $MODULES/mod_alias.so
LoadModule cgi_module $MODULES/mod_cgi.so
StartServers 1
MinSpareServers 1
MaxSpareServers 2
User $WEB_USER
Group $WEB_USER
TypesConfig /dev/null
AddType text/html .html
AddType text/css .css
DirectoryIndex index.html
<Directory />
    AllowOverride None
    Require all denied
</Directory>
DocumentRoot "$DOCS"
<Directory "$DOCS">
    Require all granted
</Directory>
ScriptAlias /cgi-bin/ "$CGI/"
<Directory "$CGI">
    Options +ExecCGI
    Require all granted
</Directory>
CONF
}

# A port nothing listens on yet; Apache's start-up is the final word (see start_apache).
free_port() {
  local port
  for _ in $(seq 1 50); do
    port=$((20000 + RANDOM % 40000))
    if ! (exec 3<> "/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port"
      return 0
    fi
  done
  return 1
}

PORT=
start_apache() {
  for _ in 1 2 3; do
    PORT=$(free_port) || return 1
    write_conf "$PORT"
    # In a session of its own: on shutdown Apache signals its whole process group, which
    # would otherwise be this script's.
    setsid "$APACHE" -f "$CONF" -DFOREGROUND > "$S/logs/console.log" 2>&1 &
    apache_pid=$!
    for _ in $(seq 1 100); do
      kill -0 "$apache_pid" 2>/dev/null || break
      if curl -s -o /dev/null --max-time 2 "http://127.0.0.1:$PORT/"; then return 0; fi
      sleep 0.1
    done
    stop_apache  # the port was taken after all, or it did not come up: try another
  done
  return 1
}

# Runs the installer in the product folder, in a private mount namespace where the test's
# httpd.conf is /etc/apache/httpd.conf. usage: run_installer NAME INPUT ARGS...
# The transcript goes to $S/out.NAME, the exit status to $status.
status=
run_installer() {
  local name=$1 input=$2
  shift 2
  unshare -m bash -c '
    mount -t overlay overlay -o "lowerdir=$1:/etc" /etc || exit 97
    cd "$2" || exit 98
    shift 2
    exec timeout 60 ./install "$@"' run "$S/overlay/etc" "$WORK" "$@" \
    < "$input" > "$S/out.$name" 2>&1
  status=$?
}

# The transcript of a run, shown when one of its checks fails.
show_run() {
  echo "---- transcript of the $1 run:"
  sed 's/^/  | /' "$S/out.$1"
  echo "---- end of the log:"
  tail -n 20 "$WORK/install.log" 2>/dev/null | sed 's/^/  | /'
}

expect_run() {  # NAME WHAT PATTERN...: status 0 and every (extended) pattern in the transcript
  local name=$1 what=$2 ok=1 p
  shift 2
  [ "$status" = 0 ] || ok=0
  for p in "$@"; do grep -Eq -- "$p" "$S/out.$name" || ok=0; done
  if [ $ok = 1 ]; then
    pass "$what"
  else
    fail "$what (status $status, wanted: $*)"
    show_run "$name"
  fi
}

# Fetches a path from Apache. usage: expect_page PATH CODE [TEXT...]
expect_page() {
  local path=$1 code=$2 got ok=1 t
  shift 2
  got=$(curl -s -o "$S/body" -w '%{http_code}' --max-time 10 "http://127.0.0.1:$PORT$path")
  [ "$got" = "$code" ] || ok=0
  for t in "$@"; do grep -Fq -- "$t" "$S/body" || ok=0; done
  if [ $ok = 1 ]; then
    pass "GET $path gives $code${*:+ with: $*}"
  else
    fail "GET $path gave $got, wanted $code${*:+ with: $*}"
    sed 's/^/  | /' "$S/body" | head -n 40
    tail -n 5 "$S/logs/error.log" 2>/dev/null | sed 's/^/  apache| /'
  fi
}

expect() {  # WHAT COMMAND...: the command succeeds
  local what=$1
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}

owned_by_web_user() {  # every entry of the trees belongs to www-data:www-data
  local strays
  strays=$(find "$@" \( ! -user "$WEB_USER" -o ! -group "$WEB_USER" \) -print) || return 1
  [ -z "$strays" ] || { echo "  not owned by $WEB_USER: $strays"; return 1; }
}
mode_is() { [ "$(stat -c %a "$2")" = "$1" ]; }
absent() { [ ! -e "$1" ]; }

# --- the product, as a site would adapt it ------------------------------------------------
cp -a "$product/." "$WORK/"
cp "$bin" "$WORK/install"
# Site defaults that the templates must carry onto the page.
sed -i -e 's/^title .*/title             Apache test notes/' \
       -e 's/^show_env .*/show_env          yes/' "$WORK/install.dat"
# Editor leftovers that the install must not publish.
echo stale > "$WORK/htdocs/old.bak"
echo stale > "$WORK/htdocs/index.html~"
write_conf 0
cp "$CONF" "$S/overlay/etc/apache/httpd.conf"
host=$(uname -n)

# --- install ----------------------------------------------------------------------------
run_installer install /dev/null -automate
expect_run install "automated install copies the product" '^\[Install\]$' \
  '^Success [0-9]+ bytes in [0-9]+ files copied$'
if grep -q '^ERROR:' "$S/out.install"; then
  fail "the installer could not read the test's httpd.conf"
  show_run install
else
  pass "the installer found the test's httpd.conf"
fi
expect "the CGI script is installed in the ScriptAlias folder, mode 755" \
  mode_is 755 "$CGI/webnotes/webnotes.cgi"
expect "the configuration is written from the template, mode 640" \
  mode_is 640 "$CGI/webnotes/webnotes.conf"
expect "the configuration holds the site's title" \
  grep -qx 'title=Apache test notes' "$CGI/webnotes/webnotes.conf"
expect "the static pages are in the document root" test -f "$DOCS/webnotes/index.html"
expect "editor leftovers are not published" \
  test -f "$DOCS/webnotes/style.css" -a ! -e "$DOCS/webnotes/old.bak" -a ! -e "$DOCS/webnotes/index.html~"
expect "installed files belong to $WEB_USER" \
  owned_by_web_user "$CGI/webnotes" "$DOCS/webnotes"

if ! start_apache; then
  fail "Apache did not start"
  cat "$S/logs/console.log" "$S/logs/error.log" 2>/dev/null | tail -n 20
  summary
  exit 1
fi
pass "Apache serves on 127.0.0.1:$PORT"

expect_page /cgi-bin/webnotes/webnotes.cgi 200 \
  "<h1>Apache test notes</h1>" "Welcome to Apache test notes, kept by webmaster@$host." \
  "<li>Apache test notes is up and running.</li>" "WebNotes 1.2" \
  "<td>script user</td><td>$WEB_USER</td>" "<td>client</td><td>127.0.0.1</td>"
expect_page /webnotes/ 200 "<h1>WebNotes</h1>" 'href="/cgi-bin/webnotes/webnotes.cgi"'
expect_page /webnotes/style.css 200 "font-family"
expect_page /webnotes/old.bak 404

# --- upgrade ----------------------------------------------------------------------------
printf '4\n\n' > "$S/in.menu"
run_installer menu "$S/in.menu"
expect_run menu "an earlier install makes Upgrade the menu's default" \
  'What would you like to do\[2\]\? '

# A new release of the product, and an administrator who edited the configuration.
sed -i 's/^version .*/version           1.3/' "$WORK/install.dat"
echo "# release 1.3" >> "$WORK/cgi/webnotes.cgi"
sed -i 's/^title=.*/title=Edited by the admin/' "$CGI/webnotes/webnotes.conf"

run_installer upgrade /dev/null -automate
expect_run upgrade "automated run upgrades an earlier install" '^\[Upgrade\]$' \
  '^Success [0-9]+ bytes in [0-9]+ files copied$'
expect "the upgrade replaces the script" cmp -s "$WORK/cgi/webnotes.cgi" "$CGI/webnotes/webnotes.cgi"
expect "the upgraded script is still mode 755" \
  mode_is 755 "$CGI/webnotes/webnotes.cgi"
expect "the upgraded files belong to $WEB_USER" owned_by_web_user "$CGI/webnotes" "$DOCS/webnotes"
expect_page /cgi-bin/webnotes/webnotes.cgi 200 "<h1>Edited by the admin</h1>" "WebNotes 1.3"

# --- backup, a -special section -------------------------------------------------------------
run_installer backup /dev/null -automate -special backup
expect_run backup "-special backup runs its own section" '^\[backup\]$' '^ Success [0-9]+ files done\.$'
expect "the backup holds the edited configuration" \
  grep -qx 'title=Edited by the admin' "$WORK/backup/webnotes.conf"
expect "the backup's README names the version read back from the install" \
  grep -q 'WebNotes 1.3 configuration' "$WORK/backup/README"
expect "the backup leaves the scripts out" absent "$WORK/backup/webnotes.cgi"

# --- remove -----------------------------------------------------------------------------
# Without a user, the remove section runs as a -special section; its default keeps the
# configuration.
run_installer remove-auto /dev/null -automate -special remove
expect_run remove-auto "-automate -special remove runs the remove section" '^\[remove\]$' \
  '^ Success [0-9]+ files done\.$'
expect_page /cgi-bin/webnotes/webnotes.cgi 404
expect_page /webnotes/ 404
expect "the configuration is kept by default" test -f "$CGI/webnotes/webnotes.conf"

# Through the menu: 3, keep the CGI folder's and document root's defaults, do not keep
# the configuration, no changes, then the closing Enter.
printf '3\n\n\nn\n\n\n' > "$S/in.remove"
run_installer remove-menu "$S/in.remove"
expect_run remove-menu "menu choice 3 removes the product" '\[Remove\]$' 'Removing files\[' \
  '^ Success [0-9]+ files removed$'
expect "the application folder is gone" absent "$CGI/webnotes"
expect "the server's own folders stay" test -d "$CGI" -a -d "$DOCS"
expect_page /cgi-bin/webnotes/webnotes.cgi 404

stop_apache
summary
