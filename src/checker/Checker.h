// The script checker (--check): reads a script as a job would (the same
// loading and pre-pass), runs nothing, and reports its mistakes as
// compiler-style diagnostics, FILE:LINE:COLUMN: error: TEXT, ordered by
// line, with a summary line. With a connection it also prepares every SQL
// statement against the real schema inside a transaction that is always
// rolled back.
//
// The checker takes each script line's record, as the pre-pass decoded it,
// into a CheckLine (its kind as a run would take it, words with their
// columns, owning macro), and every check walks those. The job's
// own routines do the rest: loadScript and runPrepass fill the tables,
// execDeclare fills the variable table, and the RPF formatter itself reads
// the command lines, so the messages are the ones a run would give.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "database/OracleSql.h"
#include "driver/Messages.h"

struct Job;
struct ScriptLine;

enum class Severity { Error, Warning };

struct Diagnostic {
  int line = 0;                         // 1-based; 0 for the script as a whole
  int column = 0;                       // 1-based
  Severity severity = Severity::Error;
  std::string text;
};

// What a script line is, as the dispatcher would take it.
enum class LineKind {
  Blank,
  Define,                               // .DEFINE name
  EndDefine,                            // ..
  Label,                                // .&name
  Rem,                                  // .REM
  Statement,                            // a row of the statement table
  MacroCall,                            // .name of a defined macro
  Sql,                                  // a line of an SQL macro's statement
  Into,                                 // INTO list of a SELECT macro
  IntoMore,                             // continuation line of an INTO list
  Text,                                 // output: text and RPF commands
};

struct CheckWord {
  std::string text;                     // as written
  std::string upper;                    // folded to upper case
  int column = 0;                       // 1-based
};

struct CheckLine {
  const ScriptLine *record = nullptr;   // the line's record, decoded by the pre-pass
  int number = 0;                       // 1-based line number
  std::string text;                     // the line as loaded
  std::vector<CheckWord> words;
  LineKind kind = LineKind::Blank;
  int owner = 0;                        // macro slot whose body holds it; 0 top level
  int statement = -1;                   // Statement: index in kStatements
  int macro = -1;                       // MacroCall: the slot called
};

// What the checker knows of one macro slot.
struct CheckMacro {
  int defineLine = 0;                   // index in lines of its .DEFINE
  bool closed = false;                  // its ".." was met
  bool sql = false;                     // the body is one SQL statement
  bool query = false;                   // ... a SELECT
  bool factored = false;                // ... a WITH statement not yet known as a query
  std::string factoredText;             // its lines so far, for the verb after WITH
  int sqlLine = -1;                     // index of the statement's first line
  int intoLine = -1;                    // index of the (last) INTO line
  std::vector<int> intoVariables;       // variable indexes of that INTO list
  std::vector<int> intoColumns;         // the column of each INTO name
  bool called = false;
};

struct Checker {
  Checker(Job &j, const char *name) : job(j), file(name) {}

  Job &job;                             // holds the script, tables and variables
  const char *file;                     // the script's name as given
  std::vector<CheckLine> lines;
  std::vector<CheckMacro> macros;       // by slot; slot 0 unused
  std::vector<bool> labelUsed;          // by label index
  std::vector<bool> variableUsed;       // by variable index
  std::vector<int> variableLine;        // by variable index: its .DECLARE line
  std::vector<Diagnostic> diagnostics;
  bool connectionGiven = false;         // the command line names a database
  bool backendKnown = false;            // connected: backend is the database's
  SqlBackend backend = SqlBackend::Other;

  void report(Severity severity, int lineIndex, int column, std::string text);
  void error(int lineIndex, int column, std::string text) { report(Severity::Error, lineIndex, column, std::move(text)); }
  void warning(int lineIndex, int column, std::string text) {
    report(Severity::Warning, lineIndex, column, std::move(text));
  }
};

// --- The mode (Check.cpp) ---------------------------------------------------

// kelvordantix --check SCRIPT [outfile] [user/password@conn [n]]: the
// positional arguments of a run; returns the exit status (0 without
// errors, 1 otherwise). The output file is never opened.
int checkScript(Job &job, int argc, char **argv);
// What the words after --check name. A run's line (SCRIPT OUTFILE CONN
// [N]) is taken by position; of two words the second is the connection
// when it is written as a connect string, else the output file.
struct CheckArguments {
  const char *script = nullptr;
  const char *output = nullptr;         // never opened
  const char *connection = nullptr;
};
// False for a count of words no run takes (none, or more than four).
bool readCheckArguments(int argc, char **argv, CheckArguments *arguments);
// A step of the job's own routines run with its messages captured.
struct Guarded {
  bool ended = false;                   // it ended the job (abortJob)
  std::string printed;                  // what it wrote to the message stream
  std::string cause;                    // what went wrong, as a run's cause line says it
  Msg message = Msg::None;              // the catalogue's message it stopped with
  // The first line printed, without trailing blanks: the message itself.
  std::string firstLine() const;
};
Guarded guarded(Job &job, const std::function<void()> &step);
// " (a run stops with "MESSAGE")", the tail of a diagnostic.
std::string stops(Msg message);
// Print the diagnostics ordered by line, then the summary; the exit status.
int printDiagnostics(Checker &c, FILE *to);

// --- Decoding (Lines.cpp) ---------------------------------------------------

// Load the script and run the pre-pass; false (with the error reported)
// when either stopped the job.
bool loadAndPrepass(Checker &c);
// Decode every line into c.lines and c.macros.
void decodeLines(Checker &c);
// The words of a record with their columns: count words cut one after
// another from `words`, as they stand in text from offset `from` on.
std::vector<CheckWord> placeWords(const std::string &text, size_t from, const char *words, int count);
// The "&name" references of SQL text: name (folded) and its offset.
struct SqlReference {
  std::string name;
  int offset = 0;                       // of the "&"
};
std::vector<SqlReference> sqlReferences(const std::string &text);

// --- Checks (Structure.cpp, Statements.cpp, RpfLines.cpp, Schema.cpp) -------

// Macros and labels: unclosed, stray, duplicate, mixed bodies, never used.
void checkStructure(Checker &c);
// Declarations first (every .DECLARE of the script), then every statement.
void checkStatements(Checker &c);
// The variable a word names, marked used; -1 (reported) when undeclared.
int useVariable(Checker &c, int lineIndex, const std::string &name, int column);
// Unknown dot words and the RPF command lines through the formatter.
void checkTextLines(Checker &c);
// Warnings for labels, macros and variables never used.
void checkUnused(Checker &c);
// The SQL against a database: prepared, never run.
void checkSchema(Checker &c, const char *connectString);
// Oracle's constructs that the backend (every one but Oracle, without a
// connection) will not run, each with its equivalent (Migration.cpp).
void checkOracleConstructs(Checker &c);

