[install]

[harden]
# web/app.cgi is a second name of root's set-uid program, web/app.conf one of root's pipe;
# cgi/app.cgi the web user's CGI in a folder only root writes; shared/secret.txt another
# user's file in a folder all can write.
CopyFile $(current_dir)/payload/app.cgi - $(web)
WFile $(web)/app.conf password
CopyFile $(current_dir)/payload/app.cgi - $(current_dir)/cgi
WFile $(current_dir)/shared/secret.txt password
