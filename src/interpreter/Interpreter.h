// The RPT interpreter core: the script held in memory, line reading, the
// pre-pass that decodes every line once into a
// record and records macros and labels, the statement dispatcher with its
// SQL collection, the run loop over the records, and labels and jumps.
#pragma once

#include "interpreter/Records.h"

struct Job;

// --- Script text and words -------------------------------------------------

// Load the input file into ScriptText ("file too big" past 99,999 bytes).
void loadScript(Job &job);
// Next line from cursor into buffer (kMaxLineChars + 1 bytes); 0 at the end.
int readScriptLine(Job &job, char *buffer);

// --- Statement records (Statements.cpp) ---------------------------------------

// Where a line's words and a statement's operands are decoded to: room for
// length + 1 bytes of cut words and as many of folded ones, and for
// kMaxLineOperands operands.
struct DecodeRoom {
  char *words;
  char *folded;
  Operand *operands;
};
// Decode a line whose control characters countWords has already made
// blanks: its words are cut, the first folded, the line classified, and a
// statement's arguments decoded into operands. A dot word that names no
// statement, and the macros and labels that operands name, are looked up
// only when resolve is true (the pre-pass resolves them once every macro
// and label is known; labels in the scope of the line's owner).
void decodeLine(Job &job, ScriptLine &line, const char *text, int length, const DecodeRoom &room, bool resolve);
// Resolve what decoded lines name: the dot words of Text lines that name a
// macro, and the macros and labels of statement operands.
void resolveReferences(Job &job, ScriptLine &line);
// Decode lineBuffer into LineState::decoded as a line of macro slot's body.
const ScriptLine &decodeLineBuffer(Job &job, int macroSlot);
// The label an operand of a jump names, in the scope of the running macro
// (the operand's own when that is the line's owner); -1 when undefined.
int labelOf(Job &job, const ScriptLine &line, const Operand &operand);

// --- Pre-pass --------------------------------------------------------------

// Decode every line of ScriptText into its record and fill the MacroTable
// and LabelTable; runs nothing. Leaves nextLine at 0.
void runPrepass(Job &job);
void defineMacro(Job &job, const ScriptLine &line);
void defineLabel(Job &job, const ScriptLine &line, int owner);

// --- Dispatcher and the run loop -----------------------------------------------

// One row of the statement table: a first word and its handler.
struct Statement {
  const char *word;                     // upper case, with its dot
  void (*handler)(Job &, const ScriptLine &);
};
// The RPT statements, in the order of StatementKind.
extern const Statement kStatements[];
extern const int kStatementCount;
// A first word (folded) that opens an SQL statement other than SELECT.
bool isSqlKeyword(const char *word);
// The statement a macro's first line (text of length characters, first
// word folded) opens, if any (SqlStart.cpp).
SqlWord sqlStartOf(const char *text, int length, const char *first);
// A WITH statement's own verb: Select for a query, Other for INSERT,
// UPDATE, DELETE or MERGE, None while it is not yet written.
SqlWord factoredKindOf(const char *sql);
// A first word (folded) that begins SQL statements of some database but
// opens none here on its own (WITH, MERGE, CALL, ...), or nullptr.
const char *sqlLookingWord(const char *first);
// A WITH statement collected so far that has shown its SELECT becomes a
// query, numbered as a query level; anything else stays as it is.
void settleFactored(Job &job);

// Run the line in lineBuffer (decoded first); 1 for a ".." line, else 0.
int dispatchStatement(Job &job, int macroSlot);
// Run one decoded line, the script's record number record (-1 for a line
// from elsewhere); 1 for a ".." line, else 0.
int runLine(Job &job, const ScriptLine &line, int macroSlot, int record);
// Put the current line into lineBuffer if it is not there yet: before
// anything reads lineBuffer as the current line (messages, SQL, the
// formatter's script lines).
void settleLineBuffer(Job &job);
// The interpreter's loop, for the top level and for every macro run: the
// records from `first` on, in the order the program counter takes them,
// until the script ends or, in a macro's run (macroSlot above 0), a ".."
// line ends it or the counter reaches endLine. Jumps move the counter.
void runLines(Job &job, int macroSlot, int first, int endLine);
// The next record's text into buffer, outside the run loop (INTO
// continuation lines); 0 when the script has no further line.
int takeScriptLine(Job &job, char *buffer);
// Output sink of produced text: length bytes of text, a whole line. In the
// RptOnly mode they go to the report as they stand (text must stay until
// the call returns); else to the formatter, from rpfLine, where the text is
// copied unless it is there already.
void emitRptText(Job &job, const char *text, int length);
// Append text and one blank to sqlBuffer (refused past its size).
void appendSql(Job &job, const char *text);

// --- Macro runs (MacroRuns.cpp) ------------------------------------------------

// Run the body of macro slot; an SQL body is then substituted and sent.
// keepOpen 1 leaves a query's level open and unpositioned for the caller.
void runMacro(Job &job, int slot, int keepOpen);
// A ".name" line: run the macro, then go on after the calling line.
void callMacro(Job &job, int slot, int keepOpen = 0);
// .EXECUTE name
void execExecute(Job &job, const ScriptLine &line);
// .REPORT select body [head [foot]]
void execReport(Job &job, const ScriptLine &line);
// An INTO line (and its continuation lines) of the SELECT being collected.
void parseInto(Job &job);

// --- Labels and jumps ------------------------------------------------------

int findMacro(Job &job, const char *name);
int findLabel(Job &job, const char *name, int macroSlot);
void jumpToLabel(Job &job, int label);
void execGoto(Job &job, const ScriptLine &line);
void execIfNull(Job &job, const ScriptLine &line);
void execIf(Job &job, const ScriptLine &line);
