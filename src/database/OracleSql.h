// Oracle's SQL on the other backends: which backend a connection reaches,
// the rewrites of Oracle-only syntax that need no parser, the server's own
// current-time query for the date and time probes, and the session
// settings that switch a server into its Oracle compatibility.
#pragma once

#include <string>
#include <vector>

// The backends whose SQL differs from Oracle's in ways the program knows.
enum class SqlBackend { Sqlite, Postgres, MariaDb, Other };

// The backend of a product name as DbDriver::productName gives it.
SqlBackend backendOf(const char *productName);

// What the rewrites need to know of the connection.
struct SqlDialect {
  SqlBackend backend = SqlBackend::Other;
  bool orafce = false;                  // PostgreSQL with orafce's schema on the path
  bool dualHasSysdate = true;           // the database's DUAL has a SYSDATE column
};

// sql with the Oracle-only syntax the backend lacks mapped to its own,
// outside quoted text, double-quoted names and comments:
//   MINUS between queries           -> EXCEPT (SQLite, PostgreSQL)
//   name.NEXTVAL, name.CURRVAL      -> nextval('name'), currval('name') (PostgreSQL)
//   NUMBER[(p[,s])], VARCHAR2(n) as column types of CREATE TABLE
//                                   -> NUMERIC[(p[,s])], VARCHAR(n) (PostgreSQL;
//                                      VARCHAR2 stays where orafce has it)
//   bare SYSDATE                    -> sysdate() (SQLite, PostgreSQL with orafce),
//                                      SYSDATE() (MariaDB); left alone in a statement
//                                      on DUAL when DUAL has a SYSDATE column
//   on MariaDB, Oracle's calls its Oracle mode lacks or gives otherwise, in
//   the forms whose result is Oracle's for every value: TO_DATE of literals,
//   TO_CHAR with a literal date model, TRUNC and ROUND of dates, ADD_MONTHS
//   of a last day, NEXT_DAY, INSTR with an occurrence, REPLACE without a
//   replacement, TRANSLATE, LTRIM and RTRIM with a set, MOD by zero; not
//   when the statement would then be longer than longest
// Anything else is copied unchanged.
std::string mapOracleSql(const char *sql, const SqlDialect &dialect, size_t longest = std::string::npos);

// An Oracle-only construct that a backend will not run as Oracle does,
// found in SQL text: its offset and the warning with the backend's
// equivalent.
struct OracleConstruct {
  size_t offset;
  std::string text;
};
// The constructs of sql the backend will not run (ROWNUM, (+), CONNECT BY,
// '' compared as NULL, || with an operand that may be NULL, + and - on
// SQLite's text dates); backend nullptr stands for every backend but Oracle.
std::vector<OracleConstruct> findOracleConstructs(const char *sql, const SqlBackend *backend);

// The backend's own query for the date ("dd/mm/yy") or time ("hh24:mi:ss")
// of the server, for a database whose DUAL cannot give it; nullptr where the
// program knows none.
const char *currentTimeQuery(SqlBackend backend, bool time);

// MariaDB (10.3 and later) and MySQL: the statement that adds modes to the
// session's sql_mode, keeping the server's other modes: ORACLE when oracle
// is set, NO_BACKSLASH_ESCAPES when noBackslashEscapes is. A server that
// refuses ORACLE runs in its own mode. Both MariaDB drivers send it.
std::string mariaDbSessionModeSql(bool oracle, bool noBackslashEscapes);

// PostgreSQL: the query that puts orafce's schema on the session's search
// path after the user's schemas and before pg_catalog, when the extension
// is installed in the database; its one value is 1 when orafce is then on
// the path, else 0.
const char *orafceSearchPathSql();
// PostgreSQL: 1 when the DUAL the session finds has a SYSDATE column
// (orafce's has none), else 0.
const char *pgDualSysdateSql();
