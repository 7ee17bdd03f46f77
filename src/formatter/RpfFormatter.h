// The RPF formatter: line intake and command dispatch, tables and columns,
// word filling and alignment, pages, titles and underlining.
//
// Print positions are 1-based columns of the output line, 1 to 255. Arrays
// indexed by print position have one spare element at index 0 so that the
// code can use the positions as they are.
//
// Text is UTF-8: a print position is a display column. A line of the
// LineGroup holds one cell per position: the bytes of a character (with its
// combining marks) at the first position it covers, nothing at the second
// position of a wide character. Bytes that are not valid UTF-8 are one
// column each (Utf8Text.h).
//
// Escape marks: a character written behind a backslash is "marked". The mark
// is kept in a flag array beside the text (rpfMark, WordMark) rather than in
// the character's high bit, so every byte of every source prints exactly as
// it came. A marked character is never a blank, a command prefix or a
// terminator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

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
// A title: the words of one input line, padded to at most 254 columns.
constexpr int kTitleBytes = kRpfInputSize + kMaxTitleWidth + 1;

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

// A word of an input line after escape marking, classified once.
struct RpfWord {
  int start = 0;                        // offset in the line
  int length = 0;                       // bytes
  int8_t command = -1;                  // index in the command table; -1: text
  bool ascii = true;                    // every byte below 128
  bool blank = false;                   // holds a marked blank
};

// A line of RPF prepared for the formatter once and fed any number of times
// (prepareRpfLine, feedPreparedRpfLine): the text after escape marking, the
// mark of each byte, and the words with the commands they name.
struct RpfPreparedLine {
  std::string text;
  std::string mark;                     // 1 where the byte is marked
  std::vector<RpfWord> words;
};

struct UnderlineField {
  int start = 0;                        // print range of the field at the request
  int end = 0;
};

// The print position of a line: where its bytes stand in the line's store.
// Offset 0 of the store is the blank of every position not written since
// the line was opened, so `at == 0` is a gap between words; a marked blank
// has its own byte. Length 0 is the second column of a wide character.
struct LineCell {
  uint32_t at = 0;
  uint32_t length = 1;
};

// One line of the LineGroup, shared by every column of a row. Most lines
// hold plain ASCII words only: one byte a position and no written blank.
// Such a line is kept as its bytes (plain[p] is position p, a blank where
// nothing is written), and aligned and printed with byte moves and copies.
// The first word that needs more (a many-byte or wide character, a marked
// blank) turns the line into cells, its form until it is opened again.
struct GroupLine {
  char plain[kLinePositions + 1] = {};  // the line while !celled
  bool celled = false;                  // cells and bytes hold the line
  LineCell cells[kLinePositions + 1] = {};  // cells[p] is print position p
  std::string bytes = " ";              // the store: appended to, never rewritten
  int LineUsed = 0;                     // blanked and due to be printed
  int LineEnd = 0;                      // print length bound: largest EndPos seen
  int UnderlineCount = 0;
  UnderlineField fields[kMaxUnderlineFields] = {};
};

struct RpfFormatter {
  // Input state: the current line after escape marking with its words,
  // either a line fed as text (prepared in rpfLine, rpfMark, lineWords) or a
  // line prepared by the caller. Word points into the line (no copy).
  char rpfLine[kRpfInputSize] = {};
  char rpfMark[kRpfInputSize] = {};
  RpfWord lineWords[kRpfInputSize / 2 + 1] = {};
  const char *lineText = rpfLine;       // the current line: errors echo it
  const char *lineMark = rpfMark;
  const RpfWord *words = lineWords;
  int wordTotal = 0;
  int wordNext = 0;                     // index of the word nextWord takes
  const char *Word = lastWord;          // the current word, WordLength bytes
  const char *WordMark = lastWordMark;
  int WordLength = 0;
  int WordCommand = -1;                 // the command it names; -1: text
  bool WordAscii = true;
  bool WordBlank = false;               // it holds a marked blank
  char lastWord[kRpfInputSize] = {};    // Word once its line is done
  char lastWordMark[kRpfInputSize] = {};
  // Text lines of the script, prepared the first time each one runs; found
  // by the index of the line's record (a record's text never changes).
  std::vector<int32_t> scriptLineIndex; // record -> index in scriptLines, -1 none
  std::vector<RpfPreparedLine> scriptLines;

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
  int linesOpened = 0;                  // lines of the group below it may be in use

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
  char Title1[kTitleBytes] = {};        // TitleWidth columns once set
  char Title2[kTitleBytes] = {};
  char UnderlineBuffer[kLinePositions + 2] = {};  // index p is print position p
  int underlineLength = 0;
  std::string printBuffer;              // a line being written
};

// --- Intake (Intake.cpp) ----------------------------------------------------

// n bytes, sizeof(Word) <= n <= 2 * sizeof(Word), as two overlapping moves
// of one Word each (both read before either is written).
template <class Word>
inline void copyOverlapping(char *to, const char *from, size_t n) {
  Word head;
  Word tail;
  std::memcpy(&head, from, sizeof head);
  std::memcpy(&tail, from + n - sizeof tail, sizeof tail);
  std::memcpy(to, &head, sizeof head);
  std::memcpy(to + n - sizeof tail, &tail, sizeof tail);
}

// n bytes (at least 1) with fixed-size moves, which the compiler keeps
// inline.
inline void copyWordBytes(char *to, const char *from, size_t n) {
  if (n > 16) {
    std::memcpy(to, from, n);
  } else if (n >= 8) {
    copyOverlapping<uint64_t>(to, from, n);
  } else if (n >= 4) {
    copyOverlapping<uint32_t>(to, from, n);
  } else {
    to[0] = from[0];
    to[n >> 1] = from[n >> 1];
    to[n - 1] = from[n - 1];
  }
}

// One row of the command table: a name (upper case, without its prefix) and
// its handler; nullptr for a known name that is refused.
struct RpfCommand {
  const char *name;
  void (*handler)(Job &);
};
extern const RpfCommand kRpfCommands[];
extern const int kRpfCommandCount;

// Copy n bytes of formatter input: control characters and 127 become
// blanks, every other byte is kept.
void copyInputBytes(char *to, const char *from, size_t n);
// Format one line of RPF text (at most 1,999 bytes). May be given
// job.sql.rpfLine itself: the formatter never writes into the line.
void feedRpfLine(Job &job, const char *line);
// Mark escapes, cut into words and classify them, once; false when the line
// is longer than 1,999 bytes.
bool prepareRpfLine(const char *line, RpfPreparedLine &prepared);
// Format a prepared line, as feedRpfLine would format its text.
void feedPreparedRpfLine(Job &job, const RpfPreparedLine &prepared);
// Text lines of the script (record: the index of the line's record, -1 for
// a line from elsewhere) are marked, cut and classified the first time they
// run only. feedKnownScriptRpfLine formats a record's line prepared before
// and is false when there is none; feedScriptRpfLine prepares the line (its
// text, zero-terminated) and formats it; a line from elsewhere is formatted
// as by feedRpfLine.
bool feedKnownScriptRpfLine(Job &job, int record);
void feedScriptRpfLine(Job &job, int record, const char *line);
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
int takeNumber(Job &job, Msg message);
// Take the next word; "Command not closed in 1 line" when there is none.
void takeWord(Job &job);
// Message, the echo of the line, abortJob.
[[noreturn]] void rpfFail(Job &job, Msg message);

// --- Current field (Field.cpp) ----------------------------------------------

void openColumn(Job &job, int column);
// The state dump, through the report stream: into the text report, or to
// standard error when the report is a PDF or HTML document (which the dump
// would spoil).
void dumpFormatterState(Job &job);

// --- Filling (Filling.cpp) --------------------------------------------------

void placeWord(Job &job);
// Place the plain text words of the current line from index next on, as
// placeWord would, while no line breaks; returns the index of the first
// word not placed.
int placePlainWords(Job &job, int next);
// Position p of the line holds nothing written since the line was opened.
bool isGap(const GroupLine &line, int p);
// Position p of the line prints something other than a blank.
bool hasInk(const GroupLine &line, int p);
// Move count positions from `from` on right by `by`; the positions they
// leave become gaps.
void shiftPositions(GroupLine &line, int from, int count, int by);
// Print cells of line i from position `from` to `to` as bytes, appended to out.
void appendLineBytes(const GroupLine &line, int from, int to, std::string &out);
// Last position in 1..end whose cell prints something other than a blank;
// 0 if none.
int lastInkedPosition(const GroupLine &line, int end);
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
// Centre title (its words joined by single blanks, `bytes` long) in
// TitleWidth columns, or cut it to them; it stays zero-terminated.
void centreTitle(Job &job, char *title, int bytes);
void printTitleLine(Job &job, const char *title);
void clearUnderline(Job &job);
// Underscores under the inked stretch within positions start..end. ink has
// one character per display column, a blank where nothing is printed.
void markUnderline(Job &job, const char *ink, int start, int end);
// The underline row of line group line i, printed up to position end, into
// the UnderlineBuffer (display columns); false when the line has no
// underline fields.
bool markLineUnderline(Job &job, int line, int end);
