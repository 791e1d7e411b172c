[install]

[swap]
