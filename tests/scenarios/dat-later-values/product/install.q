[upgrade]
# A "Dir" answer loses its one trailing separator, so "/" leaves it empty.
Dir where - - h1 Where
Dir fresh - - h2 New folder
