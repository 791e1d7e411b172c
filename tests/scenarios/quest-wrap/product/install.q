[install]
Dir cgi - - h1 Please enter the directory below $(site) where the application's CGI scripts should be installed by this installer, so that the web server running on this machine can find and run them
Text mirror - - h2 Fetch the files from $(url)
Text note - - h3 Line one\nline two
