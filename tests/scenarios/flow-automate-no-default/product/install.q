[install]
Text first - - h1 First
Text second - - h2 Second
