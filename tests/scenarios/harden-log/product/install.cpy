[install]

[harden]
Chown $(web)/* - webuser
