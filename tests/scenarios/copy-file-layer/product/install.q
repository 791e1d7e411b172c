[install]

[files]
