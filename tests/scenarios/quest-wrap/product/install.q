[install]
Dir cgi - - h1 Please enter the directory below $(site) where the application's CGI scripts should be installed by this installer, so that the web server running on this machine can find and run them
Text mirror - - h2 Fetch the files from $(url)
Text note - - h3 Line one\nline two
# At the edge: the prompt fills column 80 exactly, goes one over, has no blank to break
# at, has blanks and a tab at the break, leaves exactly 80 to wrap again, and breaks at
# the second column.
Text w1 - - h5 xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx
Text w2 - - h6 abcdefghi yyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyyy
Text w3 - - h7 zzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz
Text w4 - - h8 aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa 	  b
Text w5 - - h9 abcdefghij wwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwwww
Text w6 - - h10 a vvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvvv
