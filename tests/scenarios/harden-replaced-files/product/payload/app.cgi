new cgi
