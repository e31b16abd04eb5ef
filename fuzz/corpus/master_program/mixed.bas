' programmer
PGD = 0
PRINT "x"

last