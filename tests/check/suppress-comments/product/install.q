[install]
[upgrade]
[remove]
