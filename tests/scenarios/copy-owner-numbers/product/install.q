[install]

[owners]
