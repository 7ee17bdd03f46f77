// The RPT interpreter core: the script held in memory, line reading and the
// statement tokeniser, the pre-pass that records macros and labels, the
// statement dispatcher with its SQL collection, and labels and jumps.
#pragma once

struct Job;

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

// The whole input, filtered on loading, read line by line from cursor.
struct ScriptText {
  char text[kScriptSize];
  int scriptLength = 0;                 // bytes stored
  int cursor = 0;                       // offset of the next byte to read
};

// The current line and the statement tokeniser that cuts a copy of it.
struct LineState {
  char lineBuffer[kMaxLineChars + 1] = {};  // current line, zero-terminated
  int wordCount = 0;                    // words of lineBuffer (countWords)
  char tokenBuffer[kTokenBufferSize] = {};  // copy that the tokeniser cuts up
  char *tokenNext = nullptr;            // where the next word is looked for
};

struct Macro {
  const char *name = nullptr;           // upper case, in the macro-name pool
  int start = 0;                        // offset of the line after .DEFINE
  int end = 0;                          // just after the last non-blank body line; 0 if never closed
};

struct MacroTable {
  Macro slots[kMacroSlots];
  int nextSlot = 1;                     // next free slot
  char namePool[kNamePoolSize] = {};
  int poolUsed = 0;                     // write position of the pool
};

struct Label {
  const char *name = nullptr;           // upper case, in the label-name pool
  int offset = 0;                       // offset of the line after the label line
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
  int sqlIsQuery = 0;                   // the collected statement began with SELECT
  int sqlCollecting = 0;                // the running macro's lines are collected
  char sqlBuffer[kSqlBufferSize] = {};  // the collected SQL text
  int sqlLength = 0;                    // characters in sqlBuffer while collecting
  char rpfLine[kRpfLineSize] = {};      // the line handed to emitRptLine
};

// --- Script text and words -------------------------------------------------

// Load the input file into ScriptText ("file too big" past 99,999 bytes).
void loadScript(Job &job);
// Next line from cursor into buffer (kMaxLineChars + 1 bytes); 0 at the end.
int readScriptLine(Job &job, char *buffer);
// Words separated by blanks; control characters become blanks in place.
int countWords(char *text);
void foldUpper(char *text);
// Copy text into a buffer of size bytes, cut to fit; zero-terminated.
void copyText(char *to, int size, const char *from);
// Read the leading number of a word as the "%d" and "%lg" conversions do
// (leading white space, sign, digits; the rest ignored). False when no
// number can be read. Integers beyond 32 bits are clamped to the range.
bool scanInt(const char *text, int *value);
bool scanReal(const char *text, double *value);

// Statement tokeniser over LineState::tokenBuffer.
// Copies text into tokenBuffer and returns its first word (nullptr if none).
char *firstToken(Job &job, const char *text);
// The next word of the same copy, or nullptr after the last one.
char *nextToken(Job &job);

// --- Pre-pass --------------------------------------------------------------

void runPrepass(Job &job);
void defineMacro(Job &job);
void defineLabel(Job &job, int owner);

// --- Dispatcher ------------------------------------------------------------

// One row of the statement table: a first word and its handler.
struct Statement {
  const char *word;                     // upper case, with its dot
  void (*handler)(Job &, int macroSlot);
};
// The RPT statements, in the order the dispatcher tests them.
extern const Statement kStatements[];
extern const int kStatementCount;
// A first word (folded) that opens an SQL statement other than SELECT.
bool isSqlKeyword(const char *word);

// Run the line in lineBuffer; 1 for a ".." line, else 0.
int dispatchStatement(Job &job, int macroSlot);
// Output sink for rpfLine.
void emitRptLine(Job &job);
// Append text and one blank to sqlBuffer (refused past its size).
void appendSql(Job &job, const char *text);

// --- Labels and jumps ------------------------------------------------------

int findMacro(Job &job, const char *name);
int findLabel(Job &job, const char *name, int macroSlot);
void jumpToLabel(Job &job, int label);
void execGoto(Job &job, int macroSlot);
void execIfNull(Job &job, int macroSlot);
