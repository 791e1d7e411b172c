[run]
