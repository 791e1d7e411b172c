# A configuration of some 30 MB: 400,000 lines of comments and unknown directives, every
# value given only at its end, and an over-long line among them. It is read through.
awk 'BEGIN {
  for (i = 0; i < 200000; i++) {
    printf "# comment line %d of a very large configuration file, padded out %060d\n", i, i
    printf "LoadModule module_%d modules/mod_%d.so extra words on the line %040d\n", i, i, i
  }
  printf "Timeout %03000d\n", 7
  print "User daemon"; print "Group daemon"
  print "DocumentRoot /srv/big/www"; print "ScriptAlias /cgi-bin/ /srv/big/cgi-bin/"
}'
