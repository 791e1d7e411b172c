[install]
Text first - - h1 First value?
YN ssl - - h2 Use SSL?
DirExist dir - - h3 Data directory?
FileName tool - - h4 Program?
Text skipped never - h5 Not asked?
