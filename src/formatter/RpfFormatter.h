// The RPF formatter: line intake and command dispatch, tables and columns,
// word filling and alignment, pages, titles and underlining.
//
// Print positions are 1-based columns of the output line, 1 to 255. Arrays
// indexed by print position have one spare element at index 0 so that the
// code can use the positions as they are.
//
// Escape marks: a character written behind a backslash is "marked". The mark
// is kept in a flag array beside the text (rpfMark, WordMark, GroupLine::mark)
// rather than in the character's high bit, so bytes of 128 and above that
// come from database values print exactly as they came. A marked character
// is never a blank, a command prefix or a terminator.
#pragma once

#include <cstdio>

struct Job;

constexpr int kRpfInputSize = 2000;     // rpfLine: 1,999 characters at most
constexpr int kMaxRpfLineChars = kRpfInputSize - 1;
constexpr int kTableRecords = 31;       // record 0 is the page, 1..30 are tables 0..29
constexpr int kMaxTableNumber = 29;
constexpr int kMaxColumnsPerTable = 99;
constexpr int kColumnSlots = 1496;      // ColumnStore; slot 0 unused, slot 1 the page
constexpr int kLinePositions = 255;     // print positions of a line
constexpr int kGroupLines = 100;        // lines of the LineGroup
constexpr int kMaxUnderlineFields = 25; // underlined fields of one line
constexpr int kPageLength = 66;         // lines of the physical page
constexpr int kMaxTitleWidth = 254;
constexpr int kMaxPageNoPos = 254;
constexpr int kMaxSkip = 66;            // CS and SP
constexpr int kParaIndent = 5;          // first-line indent of P
constexpr int kCommandNameSize = 8;     // longest command name (PAUSE) and more

enum AlignKind { AlignRight = 1, AlignRagged = 2, AlignFill = 3 };

// One table definition. Record r holds RPF table r - 1.
struct RpfTable {
  int NoCol = 0;                        // columns defined; 0 = not defined
  int PnPos = 0;                        // slot before column 1: column c is slot PnPos + c
  int OwnTno = 0;                       // record in which the table was last entered
  int OwnCol = 0;                       // column of OwnTno in which it was entered
  int Base = 0;                         // print position of column position 1
  int Flexi = 0;                        // the last column was defined with end 0
};

// One column: start and end position relative to its table's Base.
struct ColumnSlot {
  int Spn = 0;
  int Epn = 0;
};

struct UnderlineField {
  int start = 0;                        // print range of the field at the request
  int end = 0;
};

// One line of the LineGroup, shared by every column of a row.
struct GroupLine {
  char text[kLinePositions + 1] = {};   // text[p] is print position p
  bool mark[kLinePositions + 1] = {};   // escape mark of each position
  int LineUsed = 0;                     // blanked and due to be printed
  int LineEnd = 0;                      // print length bound: largest EndPos seen
  int UnderlineCount = 0;
  UnderlineField fields[kMaxUnderlineFields] = {};
};

struct RpfFormatter {
  // Input state: the current line after escape marking, and the word list
  // scanned over it (nextWord copies each word into Word).
  char rpfLine[kRpfInputSize] = {};
  bool rpfMark[kRpfInputSize] = {};
  int lineLength = 0;
  int wordPos = 0;                      // where nextWord looks next
  char Word[kRpfInputSize] = {};         // the current word
  bool WordMark[kRpfInputSize] = {};
  int WordLength = 0;

  // Tables and columns.
  RpfTable tables[kTableRecords] = {{1, 0, 0, 0, 1, 0}};  // record 0: the page
  ColumnSlot ColumnStore[kColumnSlots] = {{0, 0}, {1, kLinePositions}};
  int NextSlot = 1;                     // last slot handed out
  int MaxTno = 1;                       // highest record defined (read by the dump)

  // Cursor: the current field.
  int CurTno = 0;
  int CurCol = 1;
  int StrPos = 1;
  int EndPos = kLinePositions;
  int Width = kLinePositions;
  int NowPos = 1;
  int CurLine = 0;
  int AlignMode = AlignFill;
  int LineDone = 0;
  int ParaIndentPending = 0;

  GroupLine LineGroup[kGroupLines] = {{.LineEnd = kLinePositions}};

  // Page state.
  int PageLine = 0;                     // lines of the open page; 0 = none open
  int PageNo = 0;                       // number of the current or last page
  int pagesBegun = 0;                   // pages begun in the job (SPN does not touch it)
  int TopLines = 0;                     // header rows of every page
  int BottomLine = kPageLength;         // page line at which the body ends
  int PageSuppressed = 0;               // the open page is outside the P switch range
  int ExtraSpacing = 0;                 // blank lines after each printed line (SP)
  int PageNoOn = 0;
  int PageNoPos = 0;
  int TitleLines = 0;                   // 0, 1 or 2
  int TitleWidth = 0;
  int TitleUnderline = 0;
  char Title1[kMaxTitleWidth + 1] = {}; // TitleWidth characters once set
  char Title2[kMaxTitleWidth + 1] = {};
  char UnderlineBuffer[kLinePositions + 2] = {};  // index p is print position p
  int underlineLength = 0;
  char printBuffer[kLinePositions + 2] = {};      // a line being written
};

// --- Intake (Intake.cpp) ----------------------------------------------------

// One row of the command table: a name (upper case, without its prefix) and
// its handler; nullptr for a known name that is refused.
struct RpfCommand {
  const char *name;
  void (*handler)(Job &);
};
extern const RpfCommand kRpfCommands[];
extern const int kRpfCommandCount;

// Format one line of RPF text (at most 1,999 characters). May be given
// job.sql.rpfLine itself: the line is copied before anything changes.
void feedRpfLine(Job &job, const char *line);
// Make the next word of the line current; false when none is left.
bool nextWord(Job &job);
// Run the command that the current Word names, or set it as text.
void dispatchRpfCommand(Job &job);
// The current Word is exactly an unmarked "." or "#".
bool isTerminator(const Job &job);
// The current Word begins with an unmarked "." or "#".
bool hasCommandPrefix(const Job &job);
// Read the current Word as "%d" does (clamped to 32 bits); false if it does
// not start with a number.
bool readWordNumber(const Job &job, int &value);
// Take the next word as a number: "Command not closed in 1 line" when the
// line has none, message when it is no number.
int takeNumber(Job &job, const char *message);
// Take the next word; "Command not closed in 1 line" when there is none.
void takeWord(Job &job);
// Message, the echo of the line, abortJob.
[[noreturn]] void rpfFail(Job &job, const char *message);

// --- Current field (Field.cpp) ----------------------------------------------

void openColumn(Job &job, int column);
void dumpFormatterState(Job &job);
// Where that dump goes: the text report, or standard error when the report
// is a PDF or HTML document (which the dump would spoil).
FILE *dumpStream(Job &job);

// --- Filling (Filling.cpp) --------------------------------------------------

void placeWord(Job &job);
void openLine(Job &job, int line);
void raiseLineEnd(Job &job, int line);
void closeLine(Job &job, bool breaking);
void newLine(Job &job);
// One line break of CS and of S inside a column.
void skipLineInField(Job &job);
void execN(Job &job);
void execCS(Job &job);
void execR(Job &job);
void execRR(Job &job);
void execFR(Job &job);
void execP(Job &job);
void execI(Job &job);

// --- Pages (Pages.cpp) ------------------------------------------------------

// Print the line group held so far.
void flushRpf(Job &job);
void beginPage(Job &job);
void advanceLine(Job &job);
void endPage(Job &job);
void reserveHeaderLines(Job &job);
// One row of a written page to the job's page sink (PageSink.h); with
// underlined, the UnderlineBuffer's row goes with it.
enum class PageRow { Header, Title, Body };
void writePageRow(Job &job, PageRow row, const char *text, int length, bool underlined);
// Pages begun during the job, printed by finishJob.
int pageCount(const Job &job);
void execB(Job &job);
void execS(Job &job);
void execNP(Job &job);
void execSP(Job &job);
void execPAGE(Job &job);
void execSPN(Job &job);

// --- Tables (Tables.cpp) ----------------------------------------------------

void execDT(Job &job);
void execT(Job &job);
void execTE(Job &job);
void execNC(Job &job);

// --- Titles (Titles.cpp) ----------------------------------------------------

void execTTL(Job &job);
void execTTLU(Job &job);
void execCEN(Job &job);
void execCUL(Job &job);
void execUL(Job &job);
// Centre title (its words joined by single blanks, length given) in TitleWidth.
void centreTitle(Job &job, char *title, int length);
void printTitleLine(Job &job, const char *title);
void clearUnderline(Job &job);
// Underscores under the non-blank stretch of text within positions start..end.
void markUnderline(Job &job, const char *text, int start, int end);
// The underline row of line group line i into the UnderlineBuffer; false
// when the line has no underline fields.
bool markLineUnderline(Job &job, int line, const char *text);
