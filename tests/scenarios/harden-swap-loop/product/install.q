[swap]
