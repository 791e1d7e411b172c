[install]
# The tree the application lives in.
MkDir $(target)/cgi-bin
MkDir $(target)/docs
CopyFile $(current_dir)/data/cgi/*.cgi - $(target)/cgi-bin
copydir $(current_dir)/data/docs/ CVS,*.BAK $(target)/docs
# A pattern picks at the top only: a folder it names comes whole, the others not at all.
MkDir $(target)/html
CopyDir $(current_dir)/data/docs/*.html - $(target)/html
# Configuration, written only when the documents arrived.
Exist $(target)/docs/index.html have_docs
Ini $(current_dir)/data/app.conf.in $(target)/app.conf have_docs
Exist $(target)/nothing have_nothing
MkDir $(target)/never have_nothing
WFile $(target)/owner.txt owner
RFile $(current_dir)/data/version version
Ini $(current_dir)/data/version.in $(target)/version.txt
# Permissions last, so they cover everything copied above.
Chmod $(target)/cgi-bin/*.cgi - 750
Chown $(target)/ *.conf $(owner)

[upgrade]
MkDir $(target)/upgrade-only
