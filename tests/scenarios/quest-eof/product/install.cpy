[install]
WFile copied.txt yes
