[install]

[broken]
