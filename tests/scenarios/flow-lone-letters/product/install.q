# b at the first question asks it again; B steps back too; " q" and "qq" are answers.
[install]
Text first - - h1 First
Text second - - h2 Second
