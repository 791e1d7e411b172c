[install]
Text answer - - h1 word word word word word word word word word word word word word word word word word word word word word word word word word word word word word word word word word word word word word word word word word word word word word word word word word word word word word word word word word word word word
# The default takes the prompt past 999 characters: it is cut there, '?' and all.
Text long - - h2 LL
