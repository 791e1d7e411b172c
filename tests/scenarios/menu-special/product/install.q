[install]
Text never - - h0 Not asked
[extra]
Text name - - h1 Name of the extra folder
