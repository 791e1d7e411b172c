[install]
# An unknown type word.
Txt    greeting  -  -  h1  Greeting?
# No default, and a reference to nothing.
Text   answer    -  -  h2  Answer for $(nosuch)?
# A Loop target out of range.
Loop   answer  7
# A control that nothing defines; a line dropped for a missing field.
YN     greeting  usessl  yes  h3  Sure?
Text   greeting  -  -
[upgrade]
YN     answer  -  -  h1  Go on?
[remove]
[backup]
Exist  $(cgi_dir)/demo  have_demo
# A section with no copy section: a -special run of it changes nothing.
[notes]
Text   greeting  -  -  h1  Greeting?
[extra]
# An answer nothing uses.
Text   motd  -  -  h1  Message of the day?
# A second section of a name already read.
[Remove]
