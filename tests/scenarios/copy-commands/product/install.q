[install]

[commands]
