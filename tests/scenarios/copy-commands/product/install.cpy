[install]
MkDir $(target)/not-this-section

[commands]
MkDir $(target)
# A folder path relative to the working folder, its first folder of one letter.
MkDir d/e
# Templates: line ends, lines longer than the reading buffer, blank lines.
Ini $(current_dir)/data/template.in $(target)/written.out
Rename $(target)/written.out $(target)/renamed.out
WFile $(target)/literal.txt no_such_setting
# A file of many pieces comes back whole; an empty one changes nothing.
RFile $(current_dir)/data/many-lines.txt read_back
WFile $(target)/read-back.txt read_back
RFile $(current_dir)/data/empty keep
WFile $(target)/keep.txt keep
Error keep never shown
Error no_such_setting never shown
# A bare name is no full path, so it excludes nothing; a group that does not exist takes the
# user's number.
Chmod $(target)/* renamed.out 600
Chown $(target)/ - copyuser:no-such-group
# Failures: each is reported and the run goes on.
Ini $(current_dir)/data/missing.in $(target)/from-missing.out
Ini $(current_dir)/data $(target)/from-dir.out
Ini $(current_dir)/data/template.in /dev/full
Rename $(target)/gone $(target)/x
RFile $(target)/gone v
WFile $(target)/no/dir/f v
WFile /dev/full keep
Chmod $(target)/* - 7x9
Chmod $(target)/nothing* - 644
Chown $(target)/literal.txt - no-such-user
MkDir $(target)/last
