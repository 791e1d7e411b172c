app.cgi
