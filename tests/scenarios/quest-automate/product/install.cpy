[install]
WFile first.txt first
WFile ssl.txt ssl
WFile dir.txt dir
WFile tool.txt tool
WFile skipped.txt skipped
