[harden]
