# Sourced by the test scripts: an ODBC set-up of our own (no driver logs in /tmp)
# and the connection strings the database tests use.
TAGSINK_ODBC_DIR=${TAGSINK_ODBC_DIR:-$(mktemp -d /tmp/tagsink-odbc.XXXXXX)}
cat >"$TAGSINK_ODBC_DIR/odbcinst.ini" <<INI
[SQLite3]
Description=SQLite3 ODBC Driver
Driver=$(ls /usr/lib/*/odbc/libsqlite3odbc.so 2>/dev/null | head -n 1)
Setup=$(ls /usr/lib/*/odbc/libsqlite3odbc.so 2>/dev/null | head -n 1)
UsageCount=1

[PostgreSQL Unicode]
Description=PostgreSQL ODBC driver (Unicode version)
Driver=$(ls /usr/lib/*/odbc/psqlodbcw.so 2>/dev/null | head -n 1)
Setup=$(ls /usr/lib/*/odbc/libodbcpsqlS.so 2>/dev/null | head -n 1)
CommLog=0
Debug=0
UsageCount=1

[MariaDB Unicode]
Description=MariaDB Connector/ODBC (Unicode)
Driver=$(ls /usr/lib/*/odbc/libmaodbc.so 2>/dev/null | head -n 1)
Threading=0
UsageCount=1
INI
: >"$TAGSINK_ODBC_DIR/odbc.ini"
export ODBCSYSINI=$TAGSINK_ODBC_DIR ODBCINSTINI=odbcinst.ini ODBCINI=$TAGSINK_ODBC_DIR/odbc.ini
