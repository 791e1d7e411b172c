[install]

[race]
