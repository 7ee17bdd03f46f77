// The PostgreSQL driver's parts shared between its file and its tests:
// server types of column type OIDs, date text, the batch sizes of its
// server-side cursors, and the rewriting of the program's own statements
// on DUAL for a database that has none.
#pragma once

#include <string>

// Rows asked of a server cursor: the first batch is small, since a SELECT
// macro fetches one row and a probe has one; later batches are at most
// kPgBatchRows and are cut down so that a batch of wide rows stays near
// kPgBatchBytes.
constexpr int kPgFirstBatchRows = 100;
constexpr int kPgBatchRows = 1000;
constexpr long kPgBatchBytes = 1L << 20;

// The server type of a column's type OID (a domain's column comes with its
// base type): text types character, numbers and boolean number, date and
// the two timestamps date, anything else kServerTypeOther.
short pgServerTypeOfOid(unsigned oid);

// PostgreSQL's ISO text of a date, timestamp or timestamp with time zone
// ("2026-12-08", "2026-12-08 10:30:00.25+01") as "mm/dd/yyyy hh:mi:ss"
// into out (kDateValueTextSize bytes); false for any other text (BC
// dates, infinity, years past 9999), which is then given as it is.
bool pgDateText(const char *text, int length, char *out);

// Rows for the next batch: as many as keep kPgBatchBytes, given the rows
// and bytes of the last one, between 1 and kPgBatchRows.
int pgNextBatchRows(int rows, long bytes);

// The statements the program sends on DUAL by itself: the server date and
// time, and the .IF probe.
enum class DualForm { None, DateProbe, Condition };
DualForm dualForm(const char *sql);
// The statement with its DUAL replaced by an inline one-row table of the
// same columns (DUMMY 'X', SYSDATE the current local date and time), for a
// database without its own DUAL. Any other statement is copied unchanged.
void rewriteDual(const char *sql, std::string &out);

// Whether a query locks its rows (FOR UPDATE, FOR SHARE ...): such a cursor
// cannot be held past a commit.
bool locksRows(const char *sql);
