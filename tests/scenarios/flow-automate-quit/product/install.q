[install]
Text first - - h1 First
