// Small rules about the SQL text a job sends, kept apart from the code that
// collects and substitutes it.
//
// SQL text is read the way the servers read it: 'quoted text' (quotes
// doubled inside), E'text' with backslash escapes, "quoted names",
// /* block comments */, dollar-quoted text ($$...$$, $tag$...$tag$) and
// "--" comments. A "&" followed by a name is a variable reference wherever
// it stands, quoted text included; "&&" is one literal "&" (a pair that
// otherwise could only be refused as a reference without a name).
#pragma once

#include <string>
#include <vector>

struct Job;
struct Variable;

// Bytes of line to keep when it is added to a statement whose text so far
// is statementSoFar: a "--" comment outside quoted text and block comments
// ends at its line, so it is cut off rather than swallowing the lines joined
// after it.
int sqlLineLength(const char *statementSoFar, const char *line);

// Whether text ends outside quoted text, quoted names and block comments
// (a statement that leaves one open would run into what follows it).
bool sqlEndsInPlainText(const char *text);

// One "&" of SQL text: a variable reference, or the literal pair "&&".
struct SqlAmpersand {
  size_t offset = 0;                    // of the "&"
  size_t nameLength = 0;                // of the name after it (0 for "&&" or no name)
  bool literal = false;                 // "&&": one "&" of the statement's own
  bool quoted = false;                  // inside quoted text (plain, E'' or dollar-quoted)
};
// Every "&" of text, in order.
std::vector<SqlAmpersand> sqlAmpersands(const char *text);

// The lines that show where in statement a server found its error, as
// psql shows them: "LINE n: " with the statement's line (cut to about 60
// columns around the place, "..." marking a cut) and a caret under the
// place. byteOffset counts from 0; nothing is added for an offset past the
// statement's end.
void appendErrorPlace(std::string &out, const char *statement, size_t byteOffset);
// The byte offset of a server's 1-based character position in text
// (UTF-8); -1 when the position is not inside text or at its end.
long byteOffsetOfCharacter(const char *text, long position);

// Whether a variable's value can be written into SQL: not an infinite or
// NaN Real, which would reach the server as a bare word such as inf.
bool hasSqlValue(const Variable &variable);
// Refuse the statement: the variable's value is not a finite number.
[[noreturn]] void refuseNonFinite(Job &job, const Variable &variable);

// A .COMMIT or .ROLLBACK the server refused: a server error with the
// statement's word in place of the SQL text.
[[noreturn]] void reportRefusedEnd(Job &job, const char *statement);
