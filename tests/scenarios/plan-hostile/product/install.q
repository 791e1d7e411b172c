[install]
[remove]
