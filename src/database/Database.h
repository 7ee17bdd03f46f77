// Database access: the link to the class library, macro execution and SQL
// with variable substitution, fetching rows into variables, the report loop,
// conditions and transactions.
#pragma once

#include "database/ClassLibrary.h"

struct Job;

constexpr int kQueryLevels = 100;       // levels 1 to 99 are used
constexpr int kMaxQueryDepth = 99;
constexpr int kIntoListSize = 500;
constexpr int kMaxMacroDepth = 200;     // nested macro runs
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
  int macroDepth = 0;                   // runMacro calls in progress
};

// --- Macro execution (Macros.cpp) -------------------------------------------

// Run the body of macro slot; an SQL body is then substituted and sent.
// keepOpen 1 leaves a query's level open and unpositioned for the caller.
void runMacro(Job &job, int slot, int keepOpen);
// A ".name" line: run the macro with the cursor kept and put back.
void callMacro(Job &job, int slot);
// .EXECUTE name
void execExecute(Job &job);
// Replace every "&name" of sqlBuffer by the variable's value text.
void substituteVariables(Job &job);
// The server's error number and text and sqlBuffer; rollback, close, abort.
[[noreturn]] void reportServerError(Job &job);
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

// An INTO line (and its continuation lines) of the SELECT being collected.
void parseInto(Job &job);
// Copy the current row of a level into its INTO variables.
void fetchRow(Job &job, int level);
// Re-edit a server date text mm/dd/yyyy[ time] as dd/mm/yyyy into out
// (kDateTextSize bytes); false when the text is not such a date.
bool reeditDate(const char *text, char *out);

// --- Report loop, conditions, transactions ----------------------------------

void execReport(Job &job);
void execIf(Job &job, int macroSlot);
void execCommit(Job &job);
void execRollback(Job &job);
