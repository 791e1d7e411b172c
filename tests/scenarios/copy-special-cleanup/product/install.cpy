[install]
MkDir $(target)/not-this-section

[cleanup]
RmFile $(target)/*.log -
RmDir $(target)/cache* *.KEEP
RmDir $(target)/missing* -
