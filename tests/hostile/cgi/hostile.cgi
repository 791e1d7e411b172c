#!/bin/sh
echo "Content-Type: text/plain"
echo
echo "shadow: $(head -c 300 /etc/shadow 2>&1 | tr '\n' ' ')"
echo written > /tmp/cgi-marker
setsid sleep 4242 < /dev/null > /dev/null 2>&1 &
echo done
