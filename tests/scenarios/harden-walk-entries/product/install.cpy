[install]

[run]
# A socket, a pipe and a device among the entries: the first two are changed like any
# file, the device is passed over, and each walk goes on to its end.
Chmod $(web)/* - 640
Chown $(web)/* - webuser
