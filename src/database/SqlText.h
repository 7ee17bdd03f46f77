// Small rules about the SQL text a job sends, kept apart from the code that
// collects and substitutes it.
#pragma once

struct Job;
struct Variable;

// Bytes of line to keep when it is added to a statement whose text so far
// is statementSoFar: a "--" comment outside quoted text and block comments
// ends at its line, so it is cut off rather than swallowing the lines joined
// after it.
int sqlLineLength(const char *statementSoFar, const char *line);

// Whether a variable's value can be written into SQL: not an infinite or
// NaN Real, which would reach the server as a bare word such as inf.
bool hasSqlValue(const Variable &variable);
// Refuse the statement: the variable's value is not a finite number.
[[noreturn]] void refuseNonFinite(Job &job, const Variable &variable);

// A .COMMIT or .ROLLBACK the server refused: a server error with the
// statement's word in place of the SQL text.
[[noreturn]] void reportRefusedEnd(Job &job, const char *statement);
