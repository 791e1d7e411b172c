#!/bin/sh
# WebNotes: the team's notes page. Apache runs this script as a CGI program; its settings
# come from webnotes.conf beside it, which the installer writes from a template.

dir=$(dirname "${SCRIPT_FILENAME:-$0}")
conf=$dir/webnotes.conf

# The value of one setting of the configuration (name=value), empty when it is absent.
setting() {
    sed -n "s/^$1=//p" "$conf" | head -n 1
}

# A text made safe to stand in an HTML page.
html() {
    printf '%s' "$1" | sed -e 's/&/\&amp;/g' -e 's/</\&lt;/g' -e 's/>/\&gt;/g' -e 's/"/\&quot;/g'
}

# A file named in the configuration: relative names are taken beside the script.
beside() {
    case $1 in
        /*) printf '%s' "$1" ;;
        *) printf '%s/%s' "$dir" "$1" ;;
    esac
}

if [ ! -r "$conf" ]; then
    printf 'Status: 500 Internal Server Error\nContent-Type: text/plain\n\n'
    printf 'WebNotes is not set up: cannot read its configuration %s\n' "$conf"
    exit 0
fi

title=$(setting title)
admin=$(setting admin)
reply_to=$(setting reply_to)
stylesheet=$(setting stylesheet)
installed=$(setting installed)
notes=$(beside "$(setting notes_file)")
welcome=$(beside "$(setting welcome_file)")
version=$(cat "$dir/VERSION" 2>/dev/null)

printf 'Content-Type: text/html; charset=utf-8\n\n'
cat <<PAGE
<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>$(html "$title")</title>
<link rel="stylesheet" href="$(html "$stylesheet")">
</head>
<body>
<h1>$(html "$title")</h1>
PAGE

if [ -r "$welcome" ]; then
    printf '<p class="welcome">'
    while IFS= read -r line || [ -n "$line" ]; do
        printf '%s ' "$(html "$line")"
    done < "$welcome"
    printf '</p>\n'
fi

printf '<h2>Notes</h2>\n<ul class="notes">\n'
if [ -r "$notes" ]; then
    while IFS= read -r line || [ -n "$line" ]; do
        [ -n "$line" ] && printf '<li>%s</li>\n' "$(html "$line")"
    done < "$notes"
fi
printf '</ul>\n'

printf '<p>Administrator: <a href="mailto:%s">%s</a>; replies go to %s.</p>\n' \
    "$(html "$admin")" "$(html "$admin")" "$(html "$reply_to")"

case $(setting show_env) in
    true|yes|y|on|1)
        printf '<table class="env">\n'
        printf '<tr><td>server</td><td>%s</td></tr>\n' "$(html "${SERVER_SOFTWARE:-}")"
        printf '<tr><td>client</td><td>%s</td></tr>\n' "$(html "${REMOTE_ADDR:-}")"
        printf '<tr><td>request</td><td>%s %s</td></tr>\n' \
            "$(html "${REQUEST_METHOD:-}")" "$(html "${REQUEST_URI:-}")"
        printf '<tr><td>script user</td><td>%s</td></tr>\n' "$(html "$(id -un)")"
        printf '</table>\n'
        ;;
esac

printf '<footer>WebNotes %s, set up on %s</footer>\n</body>\n</html>\n' \
    "$(html "$version")" "$(html "$installed")"
