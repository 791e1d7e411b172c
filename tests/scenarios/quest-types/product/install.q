# One question of every type, each refusing what it must refuse
[install]
DirEmpty fresh - - h1 New directory?
DirEmpty full - - h2 Another empty directory?
Text name - - h3 Your name?
YN ssl - - h4 Use SSL?
DirExist where - - h5 Existing directory?
FileExist conf - - h6 Existing file?
FileName tool - - h7 Program path?
Dir base - - h8 Base directory?
File cfg - - h9 Config file?
Bogus kind - - h10 Kind of thing?
Text padded - - h11 Padded text?
Exist data/readme.txt seen
