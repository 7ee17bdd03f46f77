// The MariaDB/MySQL driver's parts shared between its file and its tests:
// reading a connect string, the option file handed to Connector/C, server
// types of column types, and the session's SQL mode.
#pragma once

#include <string>
#include <vector>

// Bytes bound per character column; a longer value is read whole on its
// own when it comes.
constexpr unsigned long kMyInlineBytes = 4096;

// Where and as whom to connect. Empty fields (port 0) are not given, so
// that the option files and the environment apply.
struct MyConnectSettings {
  std::string host, user, password, database, socket;
  unsigned port = 0;
  std::vector<std::string> options;     // option-file lines for [client], "key=value" or "key"
};

// A connect string without its "my:" in front: a URI
// mariadb://[user[:password]@][host][:port][/database][?key=value&...]
// (mysql:// alike; percent escapes decoded; a host beginning with "/" is
// the server's socket), or option-file style key=value words separated by
// blanks, or nothing. False with the reason for a string that is neither.
bool parseMyConnect(const char *text, MyConnectSettings *settings, std::string *reason);

// The option file Connector/C reads for the connection: MYSQL_HOST (when
// set) as the lowest default, then the client's own option files that
// exist (/etc/my.cnf, /etc/mysql/my.cnf, $MARIADB_HOME/my.cnf or
// $MYSQL_HOME/my.cnf, ~/.my.cnf) included, then the settings' options,
// which win over them.
std::string myOptionFileText(const MyConnectSettings &settings);

// The server type of a column: field type, flags and character set number
// as Connector/C describes them.
short myServerType(int fieldType, unsigned flags, unsigned charsetNumber);

// The statement that sets the session's sql_mode: the server's modes kept,
// NO_BACKSLASH_ESCAPES added (a backslash in a quoted value is the byte
// itself, as the program's quoting of Text values expects), and ORACLE
// when oracle is set.
std::string mySessionSql(bool oracle);

// The program's own date and time probes (SYSDATE without parentheses) in
// the form the session's mode takes; other statements unchanged.
std::string myStatementText(const char *sql, bool oracle);
