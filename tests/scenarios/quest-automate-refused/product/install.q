[install]
Text first - - h1 First value?
DirExist dir - - h2 Data directory?
Text last - - h3 Never reached?
