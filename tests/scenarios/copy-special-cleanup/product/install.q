[install]

[cleanup]
