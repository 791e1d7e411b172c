[install]
Exist $(current_dir)/marker present
Text name - - h1 Name
YN again - - h2 Ask the name again
Loop again 1
Error present h3 The marker of $(product) is missing
Text never - - h4 Not reached
