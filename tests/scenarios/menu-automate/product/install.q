[install]
Text target - - h1 Where shall $(product) go
YN docs - - h2 Install the documents
