// Database access: the link to the class library, SQL with variable
// substitution, query levels and their rows fetched into variables,
// conditions and transactions.
#pragma once

#include "database/ClassLibrary.h"
#include "interpreter/Records.h"

struct Job;

constexpr int kQueryLevels = 100;       // levels 1 to 99 are used
constexpr int kMaxQueryDepth = 99;
constexpr int kIntoListSize = 500;
constexpr int kValueTextSize = 100;     // work area of one number's text
constexpr int kDateTextSize = 64;       // a date re-edited as dd/mm/yy

// The objects of the class library that a job holds.
struct DatabaseLink {
  ODatabase database;
  OSession session;
  ODynaset levelSets[kQueryLevels];     // one result set per query level
  ODynaset probeSet;                    // .IF and the server date and time
  OValue fieldValue;                    // target of every GetFieldValue
  bool connected = false;               // a transaction may be open
};

// Open SELECT statements, newest on top, with the INTO variables of each.
struct QueryStack {
  int queryDepth = 0;                   // open query levels; index of the newest
  int intoCount[kQueryLevels] = {};     // INTO variables per level
  int intoStart[kQueryLevels] = {};     // first intoList position per level
  int intoList[kIntoListSize] = {};     // variable indexes, level after level
  int cumInto = 0;                      // intoList entries in use
  RunPlace statementAt[kQueryLevels];   // per level: the line of its statement, named by a
                                        // failure while its rows are fetched
};

// The layer is called by the interpreter, never calling back: it takes the
// collected statement in sqlBuffer, substitutes and sends it, and opens,
// steps and closes the result sets of the query levels.

// --- SQL statements (Macros.cpp) --------------------------------------------

// Send sqlBuffer, a statement other than a query (a server error ends the job).
void executeStatement(Job &job);
// Replace every "&name" of sqlBuffer by the variable's value text.
void substituteVariables(Job &job);
// The server's error number and text and sqlBuffer; rollback, close, abort.
[[noreturn]] void reportServerError(Job &job);
// The same with the cause a refusal writes (a lost connection says so instead).
[[noreturn]] void reportServerError(Job &job, const std::string &refused);
// "Kelvordantix: PRODUCT Error Number N", the server's text and the
// statement: every server error is shown this way (ServerError.cpp), and
// nothing once the job was asked to stop.
void printServerError(Job &job, const char *statement);

// --- Query levels (QueryLevels.cpp) -----------------------------------------

// Number the next level for a SELECT ("No. Dynasets > 100\n" past 99).
void numberQueryLevel(Job &job);
// Open the newest level's result set with sqlBuffer (a server error ends the job).
void openQueryLevel(Job &job);
// Set isNull of every INTO variable of a level.
void nullIntoVariables(Job &job, int level);
// Close the newest query level and give back its INTO entries.
void closeLevel(Job &job);
// Close every open result set, so that the link can be closed safely.
void closeAllQueries(Job &job);

// --- Fetching (Fetch.cpp) ---------------------------------------------------

// A new INTO list for the newest level, replacing the one it had.
void startIntoList(Job &job);
// One variable of that list (">500 INTO variables\n" and line past the list).
void addIntoVariable(Job &job, int index, const char *line);
// Copy the current row of a level into its INTO variables.
void fetchRow(Job &job, int level);
// Re-edit a server date text mm/dd/yyyy[ time] as dd/mm/yyyy into out
// (kDateTextSize bytes); false when the text is not such a date.
bool reeditDate(const char *text, char *out);

// --- Rows (Rows.cpp) ---------------------------------------------------------

// The first row of a level into its INTO variables; false (the variables
// null) when it has none.
bool fetchFirstRow(Job &job, int level);
// The next row; false after the last. A failing row is a server error.
bool fetchNextRow(Job &job, int level);

// --- Conditions, transactions (Conditions.cpp) -------------------------------

// The condition's query into sqlBuffer, substituted.
void prepareCondition(Job &job, const char *condition);
// Send it: whether it gives a row (line is shown above a server error).
bool conditionHolds(Job &job, const char *line);
void execCommit(Job &job);
void execRollback(Job &job);
