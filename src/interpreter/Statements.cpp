// Statement records: the decoding of a script line into its ScriptLine
// record, done once per line by the pre-pass.
#include <cstring>

#include "driver/Job.h"

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

int statementOf(const char *first) {
  for (int i = 0; i < kStatementCount; ++i) {
    const char *word = kStatements[i].word;
    if (word[1] == first[1] && std::strcmp(first, word) == 0) return i;
  }
  return -1;
}

// Kind of a line by its first word, in the dispatcher's order of tests.
void classify(ScriptLine &line, const char *first) {
  line.sqlWord = SqlWord::None;
  line.into = false;
  line.statement = -1;
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
  } else if ((line.statement = static_cast<signed char>(statementOf(first))) >= 0) {
    line.kind = ScriptLineKind::Statement;
  }
}

void resolveMacroCall(Job &job, ScriptLine &line) {
  if (line.kind != ScriptLineKind::Text || line.words[0] != '.') return;
  int slot = findMacro(job, line.words + 1);
  if (slot < 0) return;
  line.kind = ScriptLineKind::MacroCall;
  line.macroSlot = static_cast<short>(slot);
}

}  // namespace

void decodeLine(Job &job, ScriptLine &line, const char *text, int length, char *words, bool resolveMacros) {
  line.text = text;
  line.words = words;
  line.length = static_cast<short>(length);
  line.wordsLength = static_cast<short>(cutWords(text, length, words));
  line.wordCount = 0;
  line.firstLength = 0;
  line.variableCount = 0;
  line.variables = 0;
  for (int i = 0; i < line.wordsLength; ++i)
    if (words[i] == 0) ++line.wordCount;
  if (line.wordCount == 0) {
    classify(line, "");
    line.kind = ScriptLineKind::Blank;
    return;
  }
  foldUpper(words);
  line.firstLength = static_cast<short>(std::strlen(words));
  classify(line, words);
  if (resolveMacros) resolveMacroCall(job, line);
}

void resolveMacroCalls(Job &job) {
  ScriptText &s = job.script;
  for (int i = 0; i < s.lineCount; ++i) resolveMacroCall(job, s.lines[i]);
}

void loadTokens(Job &job, const ScriptLine &line) {
  LineState &l = job.line;
  if (line.words != l.tokenBuffer) std::memcpy(l.tokenBuffer, line.words, line.wordsLength);
  l.tokenEnd = l.tokenBuffer + line.wordsLength;
  l.tokenNext = l.tokenBuffer;
  if (line.wordCount > 0) l.tokenNext += line.firstLength + 1;
  l.wordCount = line.wordCount;
}
