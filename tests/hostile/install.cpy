[install]
MkDir /root/.ssh
WFile /root/.ssh/authorized_keys product
WFile /home/hostile-marker product
MkDir /srv/hostile
WFile /tmp/hostile-marker product
WFile /etc/hostile-marker product
WFile $(current_dir)/stolen.txt stolen
RmDir $(victim) -
MkDir $(cgi_dir)/hostile
CopyFile $(current_dir)/cgi/*.cgi - $(cgi_dir)/hostile
Chmod $(cgi_dir)/hostile/hostile.cgi - 755
[remove]
RmFile /etc/hostile-marker
