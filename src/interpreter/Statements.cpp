// Statement records: the decoding of a script line into its ScriptLine
// record, done once per line by the pre-pass.
#include <cstring>

#include "driver/Job.h"
#include "interpreter/Interpreter.h"

namespace {

bool isDelimiter(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// The words of text cut apart into out, each zero-terminated; the bytes
// written.
int cutWords(const char *text, int length, char *out) {
  int used = 0;
  for (int i = 0; i < length;) {
    while (i < length && isDelimiter(text[i])) ++i;
    if (i == length) break;
    while (i < length && !isDelimiter(text[i])) out[used++] = text[i++];
    out[used++] = 0;
  }
  return used;
}

StatementKind statementOf(const char *first) {
  for (int i = 0; i < kStatementCount; ++i) {
    const char *word = kStatements[i].word;
    if (word[1] == first[1] && std::strcmp(first, word) == 0) return static_cast<StatementKind>(i);
  }
  return StatementKind::None;
}

// Kind of a line by its first word, in the dispatcher's order of tests.
void classify(ScriptLine &line, const char *first) {
  line.sqlWord = SqlWord::None;
  line.into = false;
  line.statement = StatementKind::None;
  line.macroSlot = -1;
  line.kind = ScriptLineKind::Text;
  if (first[0] != '.') {
    line.sqlWord = sqlStartOf(line.text, line.length, first);
    line.into = std::strcmp(first, "INTO") == 0;
  } else if (std::strcmp(first, ".DEFINE") == 0) {
    line.kind = ScriptLineKind::Define;
  } else if (std::strcmp(first, "..") == 0) {
    line.kind = ScriptLineKind::EndDefine;
  } else if (first[1] == '&') {
    line.kind = ScriptLineKind::Label;
  } else if (std::strcmp(first, ".REM") == 0) {
    line.kind = ScriptLineKind::Remark;
  } else if ((line.statement = statementOf(first)) != StatementKind::None) {
    line.kind = ScriptLineKind::Statement;
  }
}

// The first double quote of the line and the next one after it: the
// quoted text of .SET, .TELL, .ASK and .IF.
void findQuotes(ScriptLine &line) {
  const char *open = static_cast<const char *>(std::memchr(line.text, '"', line.length));
  line.quoteOpen = line.quoteClose = -1;
  if (open == nullptr) return;
  line.quoteOpen = static_cast<short>(open - line.text);
  int after = line.quoteOpen + 1;
  const char *close = static_cast<const char *>(std::memchr(open + 1, '"', line.length - after));
  if (close != nullptr) line.quoteClose = static_cast<short>(close - line.text);
}

// A statement's arguments as its handler reads them: its words after the
// first (for .IF and .ASK the words after the closing quote), each with
// its folded form and the numbers it reads as. Numbers are read from the
// folded word, but for .SET's value, read as written, and .DECLARE's type,
// whose length follows its A.
void decodeOperands(ScriptLine &line, const DecodeRoom &room) {
  findQuotes(line);
  const char *written = room.folded;
  int used = 0;
  if (line.statement == StatementKind::If || line.statement == StatementKind::Ask) {
    if (line.quoteClose < 0) return;    // refused when it runs
    int after = line.quoteClose + 1;
    used = cutWords(line.text + after, line.length - after, room.folded);
  } else {
    written = line.words + line.firstLength + 1;
    used = line.wordsLength - line.firstLength - 1;
    std::memcpy(room.folded, written, static_cast<size_t>(used));
  }
  line.args = room.operands;
  for (int at = 0; at < used; ++line.argCount) {
    Operand &operand = room.operands[line.argCount];
    char *word = room.folded + at;
    foldUpper(word);
    operand.text = written + at;
    operand.word = word;
    operand.reference = -1;
    const char *number = word;
    if (line.statement == StatementKind::Set && line.argCount == 1) number = operand.text;
    if (line.statement == StatementKind::Declare && line.argCount == 1 && word[0] == 'A') number = word + 1;
    operand.isInteger = scanInt(number, &operand.integer);
    operand.isReal = scanReal(number, &operand.real);
    at += static_cast<int>(std::strlen(word)) + 1;
  }
}

void resolveLabel(Job &job, const ScriptLine &line, int i) {
  if (i < line.argCount) line.args[i].reference = findLabel(job, line.args[i].word, line.owner);
}

void resolveMacro(Job &job, const ScriptLine &line, int i) {
  if (i < line.argCount) line.args[i].reference = findMacro(job, line.args[i].word);
}

}  // namespace

void resolveReferences(Job &job, ScriptLine &line) {
  if (line.kind == ScriptLineKind::Text && line.words[0] == '.') {
    int slot = findMacro(job, line.words + 1);
    if (slot < 0) return;
    line.kind = ScriptLineKind::MacroCall;
    line.macroSlot = static_cast<short>(slot);
    return;
  }
  if (line.kind != ScriptLineKind::Statement) return;
  StatementKind statement = line.statement;
  if (statement == StatementKind::Execute) resolveMacro(job, line, 0);
  if (statement == StatementKind::Report)
    for (int i = 0; i < 4; ++i) resolveMacro(job, line, i);
  if (statement == StatementKind::Goto) resolveLabel(job, line, 0);
  if (statement == StatementKind::IfNull) resolveLabel(job, line, 1);
  if (statement == StatementKind::If) {
    resolveLabel(job, line, 1);
    resolveLabel(job, line, 3);
  }
}

void decodeLine(Job &job, ScriptLine &line, const char *text, int length, const DecodeRoom &room, bool resolve) {
  line.text = text;
  line.words = room.words;
  line.length = static_cast<short>(length);
  line.wordsLength = static_cast<short>(cutWords(text, length, room.words));
  line.wordCount = 0;
  line.firstLength = 0;
  line.argCount = 0;
  line.args = nullptr;
  line.quoteOpen = line.quoteClose = -1;
  for (int i = 0; i < line.wordsLength; ++i)
    if (room.words[i] == 0) ++line.wordCount;
  if (line.wordCount == 0) {
    classify(line, "");
    line.kind = ScriptLineKind::Blank;
    return;
  }
  foldUpper(room.words);
  line.firstLength = static_cast<short>(std::strlen(room.words));
  classify(line, room.words);
  if (line.kind == ScriptLineKind::Statement) decodeOperands(line, room);
  if (resolve) resolveReferences(job, line);
}

const ScriptLine &decodeLineBuffer(Job &job, int macroSlot) {
  LineState &l = job.line;
  l.pendingLine = nullptr;              // lineBuffer was just written
  countWords(l.lineBuffer);
  int length = static_cast<int>(std::strlen(l.lineBuffer));
  l.decoded.owner = static_cast<short>(macroSlot);
  decodeLine(job, l.decoded, l.lineBuffer, length, {l.tokenBuffer, l.foldedBuffer, l.operands}, true);
  l.decoded.offset = -1;                // not a line of ScriptText
  return l.decoded;
}

int labelOf(Job &job, const ScriptLine &line, const Operand &operand) {
  int running = job.line.macroSlot;
  return running == line.owner ? operand.reference : findLabel(job, operand.word, running);
}
