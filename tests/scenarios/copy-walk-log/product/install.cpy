[install]
# Whichever entry the listing gives first, excluded or not, a walk names what it leaves
# out once, before the entries it passes over.
Chown $(current_dir)/inst/* *.conf webuser:webgroup
Chmod $(current_dir)/inst/* *.conf 640
