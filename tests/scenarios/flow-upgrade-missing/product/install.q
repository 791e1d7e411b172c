[install]
Text name - - h1 Name
