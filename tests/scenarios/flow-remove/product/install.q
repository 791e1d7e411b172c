[install]
Text never - - h0 Not asked
[Remove]
YN sure - - h1 Really remove $(product)
