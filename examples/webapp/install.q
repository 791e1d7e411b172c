# WebNotes questions, one section per action.
#
# Asked questions:  TYPE  setting  control  compare  help-id  text
#   The question is asked when control is "-", or when the value of the setting named
#   by control equals compare (or the value of the setting named by compare). The
#   setting's value is the default shown in brackets; the answer becomes its new value.
#   The text runs to the end of the line; "\n" in it starts a new line.
# Computed entries (nothing is asked):
#   Exist  path  setting              setting = true/false: does path exist?
#   Copy   setting - - help-id other  setting = the value of setting other
#   Error  setting  help-id  message  stop with message when setting is false
#   Loop   setting  N                 go back to entry N (counting from 0, computed
#                                     entries and questions alike) when setting is false

[install]
# 0-1: this folder must hold the whole product before anything is asked.
Exist     $(current_dir)/cgi/webnotes.cgi  complete
Error     complete  h_incomplete  This folder does not hold a complete WebNotes: cgi/webnotes.cgi is missing
# 2: the static pages go to webnotes/ in the document root.
Dir       doc_root      -           -      h_root     Apache's document root (the pages go to webnotes/ in it)
# 3-7: the scripts go to webnotes/ in the CGI folder. A folder that is not there yet is
# created only when the user agrees; "n" asks for the folder again (the Copy entry
# resets the answer, so a folder that exists on the second try passes the Loop).
Dir       cgi_dir       -           -      h_cgi      Apache's CGI folder (the scripts go to webnotes/ in it)
Exist     $(cgi_dir)  cgi_exists
Copy      make_cgi      -           -      h_make     make_cgi_default
YN        make_cgi      cgi_exists  false  h_make     $(cgi_dir) does not exist yet. Create it
Loop      make_cgi  3
# 8-10: the files are given to Apache's user and group (found in httpd.conf).
YN        set_owner     -           -      h_owner    Give the installed files to Apache's user and group
Text      web_user      set_owner   true   h_user     User that Apache runs as
Text      web_group     set_owner   true   h_group    Group that Apache runs as
# 11-18: what the page shows; these answers fill in templates/webnotes.conf.in.
Text      title         -           -      h_title    Title of the notes page
Text      admin         -           -      h_admin    E-mail address of the page's administrator
Copy      reply_to      -           -      h_reply    admin
Text      reply_to      -           -      h_reply    Address that replies to notes go to
FileName  notes_name    -           -      h_notes    Name of the notes file (kept as NAME.txt beside the script)
FileExist welcome_file  -           -      h_welcome  Text file with the welcome message (settings in it are filled in)
File      stylesheet    -           -      h_css      Address of the page's stylesheet
YN        show_env      -           -      h_env      Show the details of each request at the foot of the page (for testing)
# 19-21: installing over an earlier install replaces its configuration only if agreed.
Exist     $(cgi_dir)/webnotes/webnotes.conf  have_conf
YN        replace_conf  have_conf   true   h_replace  WebNotes is already set up in $(cgi_dir)/webnotes. Replace its configuration
Error     replace_conf  h_replace  Nothing was installed; choose Upgrade to keep the configuration

[upgrade]
# An upgrade keeps the configuration and replaces the scripts and the pages.
DirExist  cgi_dir       -           -      h_cgi      Apache's CGI folder that holds webnotes/
DirExist  doc_root      -           -      h_root     Apache's document root that holds webnotes/
YN        set_owner     -           -      h_owner    Give the new files to Apache's user and group
Text      web_user      set_owner   true   h_user     User that Apache runs as
Text      web_group     set_owner   true   h_group    Group that Apache runs as
YN        go_on         -           -      h_upgrade  Upgrade WebNotes $(old_version) in $(cgi_dir)/webnotes to $(version)
# In the upgrade the references of an error message are filled in.
Error     go_on         h_upgrade   WebNotes $(old_version) in $(cgi_dir)/webnotes was left as it was

[remove]
DirExist  cgi_dir       -           -      h_cgi      Apache's CGI folder that holds webnotes/
Dir       doc_root      -           -      h_root     Apache's document root that holds webnotes/
YN        keep_conf     -           -      h_keep     Keep the configuration and the notes in $(cgi_dir)/webnotes

# ./install -special backup: copies the configuration and the notes to a new folder.
[backup]
DirExist  cgi_dir       -           -      h_cgi      Apache's CGI folder that holds webnotes/
Exist     $(cgi_dir)/webnotes/webnotes.conf  backup_ok
Error     backup_ok     h_backup    There is no WebNotes configuration in that folder to back up
DirEmpty  backup_dir    -           -      h_backup   Folder for the backup (it must be new or empty)
