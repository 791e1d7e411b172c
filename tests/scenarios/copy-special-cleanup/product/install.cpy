[install]
MkDir $(target)/not-this-section

[cleanup]
RmFile $(target)/*.log -
RmDir $(target)/cache* *.KEEP
RmDir $(target)/missing* -
# An exclusion holds at the top ignoring case, below as written; RmFile takes no folder.
RmFile $(current_dir)/r/*.log keep*
RmDir $(current_dir)/r/* keep.log
