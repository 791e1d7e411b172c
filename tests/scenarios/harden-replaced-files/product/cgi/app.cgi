old cgi
