[fix]
Text name - - h1 Name
