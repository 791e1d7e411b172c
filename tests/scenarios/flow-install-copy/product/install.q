[install]
Text target - - h1 Where shall $(product) go
YN docs - - h2 Install the documents
Text docdir docs - h3 Folder for the documents
