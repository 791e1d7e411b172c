[install]

[run]
# Links an administrator made: two in the web user's folder (one of them renamed by that
# user onto the name a file is written at), one in a folder only root can change.
Chown $(web)/* - webuser
Chmod $(web)/* - 666
Ini $(current_dir)/data/t.in $(web)/app.conf
WFile $(web)/site.conf written
Chown $(current_dir)/sealed/* - webuser
Chmod $(current_dir)/sealed/* - 640
RFile $(current_dir)/sealed/kept.conf kept
WFile $(current_dir)/got.txt kept
