CREATE TABLE recxh ( -- logins
	lrdate DATETIME, xh /* number */ TEXT,
 lrpc INT)