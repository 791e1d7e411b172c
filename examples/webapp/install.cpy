# WebNotes copy script: what each action does to the disk, one section per action.
#
#   CopyFile  source-pattern  exclusions  destination-folder  [control [compare]]
#   CopyDir   source-pattern  exclusions  destination-folder  [control [compare]]
#   MkDir     folder                                          [control [compare]]
#   Ini       template        file                            [control [compare]]
#   Rename    old             new                             [control [compare]]
#   RmFile    pattern         exclusions                      [control [compare]]
#   RmDir     pattern         exclusions                      [control [compare]]
#   Exist     path            setting                         [control [compare]]
#   Chown     pattern         exclusions  user[:group]        [control [compare]]
#   Chmod     pattern         exclusions  octal-mode          [control [compare]]
#   WFile     file            setting                         [control [compare]]
#   RFile     file            setting                         [control [compare]]
#   Error     setting         message (the rest of the line)
#
# $(name) in the first two fields is filled in when the section is loaded, after the
# questions. Exclusions are wildcards separated by commas, "-" for none. A command with
# a control runs when that setting is true, or, with a compare, when the two are equal
# (letter case aside). The install and the upgrade stop at the first command that fails
# or does nothing, so every command here is expected to do something.

[install]
MkDir     $(cgi_dir)/webnotes
MkDir     $(doc_root)/webnotes
CopyFile  $(current_dir)/cgi/*.cgi  -  $(cgi_dir)/webnotes
CopyDir   $(current_dir)/htdocs/*  *~,*.bak,*.orig  $(doc_root)/webnotes
# The configuration is written beside its final name and then renamed over it, so the
# running script never reads a half-written file.
Ini       $(current_dir)/templates/webnotes.conf.in  $(cgi_dir)/webnotes/webnotes.conf.new
Rename    $(cgi_dir)/webnotes/webnotes.conf.new  $(cgi_dir)/webnotes/webnotes.conf
Ini       $(welcome_file)  $(cgi_dir)/webnotes/welcome.txt
# Notes already written by the team survive a reinstall.
Exist     $(cgi_dir)/webnotes/$(notes_name).txt  have_notes
Ini       $(current_dir)/templates/notes.txt.in  $(cgi_dir)/webnotes/$(notes_name).txt  have_notes  false
WFile     $(cgi_dir)/webnotes/VERSION  version
Chmod     $(cgi_dir)/webnotes/*.cgi  -  755
Chmod     $(cgi_dir)/webnotes/webnotes.conf  -  640  set_owner
Chown     $(cgi_dir)/webnotes  -  $(web_user):$(web_group)  set_owner
Chown     $(doc_root)/webnotes  -  $(web_user):$(web_group)  set_owner
# The answers, kept for the upgrade and the remove (install.int reads them back) in a
# folder that only root can write. The user and group are kept only when they were asked.
MkDir     $(state_dir)
WFile     $(state_dir)/cgi_dir    cgi_dir
WFile     $(state_dir)/doc_root   doc_root
WFile     $(state_dir)/set_owner  set_owner
WFile     $(state_dir)/web_user   web_user   set_owner
WFile     $(state_dir)/web_group  web_group  set_owner
WFile     $(state_dir)/version    version
Chmod     $(state_dir)  -  700
Chmod     $(state_dir)/*  -  600

[upgrade]
Exist     $(cgi_dir)/webnotes/webnotes.conf  upgradable
Error     upgradable  There is no WebNotes configuration in $(cgi_dir)/webnotes to upgrade; choose Install instead
# Scripts that the new version no longer has must not stay behind.
Exist     $(cgi_dir)/webnotes/webnotes.cgi  old_script
RmFile    $(cgi_dir)/webnotes/*.cgi  -  old_script
CopyFile  $(current_dir)/cgi/*.cgi  -  $(cgi_dir)/webnotes
MkDir     $(doc_root)/webnotes
CopyDir   $(current_dir)/htdocs/*  *~,*.bak,*.orig  $(doc_root)/webnotes
WFile     $(cgi_dir)/webnotes/VERSION  version
Chmod     $(cgi_dir)/webnotes/*.cgi  -  755
Chown     $(cgi_dir)/webnotes  -  $(web_user):$(web_group)  set_owner
Chown     $(doc_root)/webnotes  -  $(web_user):$(web_group)  set_owner
# The answers again: the upgrade may have changed them.
MkDir     $(state_dir)
WFile     $(state_dir)/cgi_dir    cgi_dir
WFile     $(state_dir)/doc_root   doc_root
WFile     $(state_dir)/set_owner  set_owner
WFile     $(state_dir)/web_user   web_user   set_owner
WFile     $(state_dir)/web_group  web_group  set_owner
WFile     $(state_dir)/version    version
Chmod     $(state_dir)  -  700
Chmod     $(state_dir)/*  -  600

# The removal goes on past commands that fail, so it also tidies up a half-removed install.
[remove]
RmFile    $(cgi_dir)/webnotes/*.cgi  -
RmDir     $(doc_root)/webnotes  -
RmDir     $(cgi_dir)/webnotes  -  keep_conf  false
RmDir     $(state_dir)  -

[backup]
MkDir     $(backup_dir)
CopyFile  $(cgi_dir)/webnotes/*  *.cgi,*.new  $(backup_dir)
# The version comes from the root-only state folder: the installed tree belongs to the
# web server's user, and nothing that user can change may go into what root writes.
RFile     $(state_dir)/version  backup_version
Ini       $(current_dir)/templates/backup-readme.in  $(backup_dir)/README
