// The interpreter's records and state: the script held in memory, the
// record of every decoded line with its operands, the current line, the
// macro and label tables, and the SQL being collected. Other subsystems
// (the database layer among them) are given these records and read them;
// the routines that run them are in Interpreter.h.
#pragma once

#include <string>
#include <vector>

#include "driver/Messages.h"

constexpr int kScriptSize = 100000;     // ScriptText bytes
constexpr int kMaxScriptBytes = 99999;  // the largest script that loads
constexpr int kMaxLineChars = 900;      // characters of one script line
constexpr int kTokenBufferSize = 2000;  // tokenBuffer bytes
constexpr int kMacroSlots = 100;        // slot 0 stands for the top level
constexpr int kMaxMacroSlot = 99;
constexpr int kMaxLabels = 100;
constexpr int kNamePoolSize = 3000;     // macro-name and label-name pools
constexpr int kSqlBufferSize = 2000;    // sqlBuffer: 1,999 characters at most
constexpr int kRpfLineSize = 2000;      // rpfLine: 1,999 characters at most
constexpr int kMaxScriptLines = kScriptSize;  // every line ends in a newline
constexpr int kNoEndLine = -1;          // runLines: no body end to stop at
constexpr int kMaxMacroDepth = 200;     // nested macro runs

// --- Statement records --------------------------------------------------------
//
// Every line of the script is decoded once, by the pre-pass, into a
// ScriptLine: what the line is and what can be known of it before anything
// runs. The run loop walks these records by index; it never re-reads a line
// or cuts its words again, and the statement handlers read the arguments the
// record holds (its operands), never the text. What depends on the run stays
// decided at run time, from the record: a body's first line starts an SQL
// statement only while a macro runs, a line is SQL text while a statement is
// collected, .DEFINE bodies are passed over at the top level, variables are
// looked up by name (the index found is then kept in the operand), and "&"
// references are substituted when the statement is sent.
//
// A checker can build the records without running anything: loadScript,
// then runPrepass, then read ScriptText::lines[0 .. lineCount - 1] beside
// the MacroTable and LabelTable.

// What a line is, by its first word (folded to upper case).
enum class ScriptLineKind : unsigned char {
  Blank,      // no words: passed over, not traced, not counted
  Define,     // .DEFINE name: opens a macro body (recorded by the pre-pass)
  EndDefine,  // ..: closes a body; ends a macro's run
  Label,      // .&name: recorded by the pre-pass, does nothing when reached
  Remark,     // .REM: a comment, also inside a collected SQL statement
  Statement,  // a word of the statement table: the handler `statement`
  MacroCall,  // .name of a macro defined in the script: `macroSlot`
  Text,       // anything else: output as written, or a line of SQL text
};

// The SQL keyword a line begins with; it opens a statement only on the
// first line of a macro's run.
enum class SqlWord : unsigned char {
  None,       // not an SQL keyword
  Select,     // SELECT: a query, numbered as a query level
  Other,      // INSERT, DELETE, UPDATE, CREATE, DROP, ALTER, TRUNCATE, GRANT, REVOKE,
              // MERGE INTO, REPLACE INTO, CALL name(
  Factored,   // WITH name AS (: a query or not by the verb after its WITH clauses
};

// The RPT statements: the rows of kStatements, in the same order.
enum class StatementKind : signed char {
  None = -1,                            // the line is no statement
  Database, Stop, Declare, Set, Equal, Tell, Ask, Print, Execute, Report,
  If, IfNull, Add, Sub, Mul, Div, Commit, Rollback, Goto,
};
constexpr int kStatementKinds = static_cast<int>(StatementKind::Goto) + 1;

// One argument of a statement, decoded with its line: the words after the
// statement's own (for .IF and .ASK the words after the closing quote).
struct Operand {
  const char *text;                     // the word as written, zero-terminated
  const char *word;                     // the same folded to upper case
  int reference;                        // what the word names, once known, else -1: a macro
                                        // slot (.EXECUTE, .REPORT), a label index in the
                                        // scope of the line's owner (.GOTO, .IF, .IFNULL),
                                        // or a variable index, kept from the run that found it
  int integer;                          // the word read as "%d" reads it, when isInteger
                                        // (.DECLARE: the length after its A)
  double real;                          // the word read as "%lg" reads it, when isReal
  bool isInteger;
  bool isReal;
};

// One decoded script line.
struct ScriptLine {
  const char *text;                     // the line as written, not terminated (in ScriptText)
  const char *words;                    // its words cut apart, each zero-terminated, one after
                                        // another; the first folded to upper case
  int offset;                           // byte offset of the line in ScriptText (the trace, the
                                        // formatter's key); -1 for a line from elsewhere
                                        // (lineBuffer); jumps use record indices
  short length;                         // characters of text (at most kMaxLineChars)
  short wordsLength;                    // bytes of words, terminators included
  short wordCount;                      // words of the line, as countWords counts them
  short firstLength;                    // bytes of the first word, its terminator not counted
  ScriptLineKind kind;                  // what the line is
  SqlWord sqlWord;                      // the SQL keyword it begins with, if any
  bool into;                            // first word INTO: an INTO list while a SELECT is collected
  StatementKind statement;              // kind Statement: which one (its row of kStatements)
  short macroSlot;                      // kind MacroCall: slot of the macro (findMacro)
  short owner;                          // slot of the macro whose body holds the line (as
                                        // the pre-pass saw it), 0 at the top level
  short argCount;                       // kind Statement: operands in args
  short quoteOpen;                      // offset in text of the first double quote, -1 if none
  short quoteClose;                     // of the next one after it, -1 if none
  Operand *args;                        // kind Statement: its operands (nullptr when none)
};

// The whole input, filtered on loading, read line by line from cursor by
// the pre-pass, and its lines decoded into records that the run walks.
struct ScriptText {
  char text[kScriptSize];
  int scriptLength = 0;                 // bytes stored
  int cursor = 0;                       // offset of the next byte the line reader reads
  // The records, one per line (blank lines included, so that a line's
  // index is its number counted from 0), and the cut words of every line:
  // the words of the line at offset o are stored from words + o on (a cut
  // line is never longer than the line and its newline). The records take
  // memory by the script's lines, at most kMaxScriptLines.
  std::vector<ScriptLine> lines;
  int lineCount = 0;                    // records decoded
  char words[kScriptSize + 1];
  // The operands' words, folded, stored like words (from folded + o on).
  char folded[kScriptSize + 1];
  // The operands of every statement record, in the order of the lines.
  // A variable index kept in an operand stays valid: variables are never
  // removed, and the first declaration of a name is the one found.
  std::vector<Operand> operands;
  int nextLine = 0;                     // program counter: index of the next record to run
};

// Where the running line stands: its record and the macro whose run it is
// part of (0 at the top level). A failure's cause line names this place.
struct RunPlace {
  int record = -1;                      // index of the script record; -1: no script line runs
  int macro = 0;                        // slot of the running macro, 0 at the top level
};

constexpr int kMaxLineOperands = kMaxLineChars / 2 + 1;  // words a line can hold

// The current line, and the record of a line dispatched from lineBuffer
// (decoded there with its own words and operands).
struct LineState {
  char lineBuffer[kMaxLineChars + 1] = {};  // current line, zero-terminated (settleLineBuffer)
  const ScriptLine *pendingLine = nullptr;  // the current line when lineBuffer does not hold
                                        // it yet: the lines of a report body that need no
                                        // copy are copied only for a message
  char tokenBuffer[kTokenBufferSize] = {};  // the cut words of `decoded`
  char foldedBuffer[kMaxLineChars + 1] = {};  // its operands' words, folded
  Operand operands[kMaxLineOperands] = {};  // its operands
  ScriptLine decoded = {};              // record of a line dispatched from lineBuffer
  int record = -1;                      // index of the script record whose handler runs;
                                        // -1 for a line from lineBuffer
  int macroSlot = 0;                    // the macro whose run reached the handler's line
                                        // (0 at the top level): the scope of its labels
  RunPlace place;                       // the line whose run is in progress
  std::string cause;                    // what went wrong, for the cause line of an abort
  Msg message = Msg::None;              // the first catalogue entry written since cleared
  std::vector<std::string> warnedWords; // unknown dot words warned about (once each)
  std::vector<uint8_t> dotWordLooked;   // by record: its first dot word looked at (a
                                        // report body runs its lines for every row)
};

struct Macro {
  const char *name = nullptr;           // upper case, in the macro-name pool
  int start = 0;                        // offset of the line after .DEFINE (the trace, the dumps)
  int end = 0;                          // just after the last non-blank body line; 0 if never closed
  int firstLine = 0;                    // record index of the line after .DEFINE
  int endLine = 0;                      // record index matching end; 0 if never closed
  SqlWord kind = SqlWord::None;         // SQL keyword of the body's first non-blank line:
                                        // an SQL macro when its run begins there
};

struct MacroTable {
  Macro slots[kMacroSlots];
  int nextSlot = 1;                     // next free slot
  char namePool[kNamePoolSize] = {};
  int poolUsed = 0;                     // write position of the pool
};

struct Label {
  const char *name = nullptr;           // upper case, in the label-name pool
  int offset = 0;                       // offset of the line after the label line (the dumps)
  int line = 0;                         // record index of the line after the label line
  int owner = 0;                        // macroSlot whose body holds it, 0 at top level
};

struct LabelTable {
  Label entries[kMaxLabels];
  int count = 0;
  char namePool[kNamePoolSize] = {};
  int poolUsed = 0;
};

// The dispatcher's state: macro bodies, SQL collection and the produced line.
struct SqlState {
  int inDefineBody = 0;                 // between a .DEFINE line and its ..
  int macroRunning = 0;                 // a macro run is in progress
  int macroLineNo = 0;                  // non-blank lines since the current macro started
  int macroDepth = 0;                   // runMacro calls in progress
  int sqlIsQuery = 0;                   // the collected statement began with SELECT
  int sqlFactored = 0;                  // ... with WITH: a query once its SELECT shows
  int sqlCollecting = 0;                // the running macro's lines are collected
  char sqlBuffer[kSqlBufferSize] = {};  // the collected SQL text
  int sqlLength = 0;                    // characters in sqlBuffer while collecting
  char rpfLine[kRpfLineSize] = {};      // the line handed to emitRptLine
};

// --- Words (ScriptText.cpp) ----------------------------------------------------

// Words separated by blanks; control characters become blanks in place.
int countWords(char *text);
void foldUpper(char *text);
// Copy text into a buffer of size bytes, cut to fit between characters;
// zero-terminated. Returns the bytes copied: cutLength(from, size).
int copyText(char *to, int size, const char *from);
int cutLength(const char *from, int size);
// Read the leading number of a word as the "%d" and "%lg" conversions do
// (leading white space, sign, digits; the rest ignored). False when no
// number can be read. Integers beyond 32 bits are clamped to the range.
bool scanInt(const char *text, int *value);
bool scanReal(const char *text, double *value);
