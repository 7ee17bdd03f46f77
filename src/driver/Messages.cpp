// The catalogue's routines that take a job: writing to its message
// stream, the near-name search, and the cause line a failed run writes at
// its place. The table itself is in MessageTable.cpp.
#include "driver/Messages.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstring>

#include "driver/Job.h"
#include "interpreter/Interpreter.h"

void writeMessage(Job &job, Msg id, ...) {
  if (job.line.message == Msg::None) job.line.message = id;
  va_list args;
  va_start(args, id);
  std::vfprintf(job.job.err, messageText(id), args);
  va_end(args);
}

// --- Names at fault -------------------------------------------------------------

// Levenshtein distance, enough for the short names of scripts.
static int editDistance(const std::string &a, const std::string &b) {
  std::vector<int> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = static_cast<int>(j);
  for (size_t i = 1; i <= a.size(); ++i) {
    int diagonal = row[0];
    row[0] = static_cast<int>(i);
    for (size_t j = 1; j <= b.size(); ++j) {
      int above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The first letter of a name, after a leading ".".
static char initialOf(const std::string &word) {
  size_t at = !word.empty() && word[0] == '.' ? 1 : 0;
  return at < word.size() ? word[at] : 0;
}

std::string nearestWord(const std::string &word, const std::vector<std::string> &known) {
  std::string best;
  int bestDistance = 3;                 // at most 2 edits
  char initial = initialOf(word);
  for (const std::string &candidate : known) {
    if (initial == 0 || initialOf(candidate) != initial) continue;
    int d = editDistance(word, candidate);
    if (d < bestDistance && d < static_cast<int>(candidate.size()) - 1) {
      best = candidate;
      bestDistance = d;
    }
  }
  return best;
}

// text, with "; did you mean NEAR?" when a declared variable is near name.
static std::string withVariableHint(Job &job, const std::string &name, std::string text) {
  std::vector<std::string> names;
  for (int k = 0; k < job.vars.count; ++k) names.push_back(job.vars.entries[k].name);
  std::string hint = nearestWord(name, names);
  if (!hint.empty()) text += formatMessage(Msg::CauseDidYouMean, hint.c_str());
  return text;
}

std::string variableNotDeclared(Job &job, const std::string &name) {
  if (name.empty()) return messageText(Msg::CauseNoName);
  return withVariableHint(job, name, formatMessage(Msg::CauseNotDeclared, name.c_str()));
}

// An operand word that names no variable and reads as no number.
std::string notAnOperand(Job &job, const std::string &word) {
  return withVariableHint(job, word, formatMessage(Msg::CauseNotAnOperand, word.c_str()));
}

std::string macroNotDefined(const std::string &role, const std::string &name) {
  return formatMessage(Msg::CauseRoleMacroNotDefined, role.c_str(), name.c_str());
}

static std::string scopeName(Job &job, int slot) {
  return slot > 0 ? formatMessage(Msg::CauseInMacro, job.macros.slots[slot].name) : messageText(Msg::CauseTopLevel);
}

std::string labelNotDefined(Job &job, const std::string &name, int owner) {
  std::string text = formatMessage(Msg::CauseLabelNotDefined, name.c_str(), scopeName(job, owner).c_str());
  const LabelTable &t = job.labels;
  for (int i = 0; i < t.count; ++i) {
    if (name != t.entries[i].name) continue;
    text += formatMessage(Msg::CauseLabelElsewhere, scopeName(job, t.entries[i].owner).c_str());
    break;
  }
  return text;
}

std::string notANumber(const std::string &word, bool real, const std::string &variable) {
  return formatMessage(Msg::CauseNotANumber, word.c_str(), real ? "REAL" : "INTEGER", variable.c_str());
}

std::vector<std::string> knownDotWords(Job &job) {
  std::vector<std::string> known = {".REM", ".DEFINE"};
  for (int i = 0; i < kStatementCount; ++i) known.push_back(kStatements[i].word);
  for (int slot = 1; slot < job.macros.nextSlot; ++slot)
    known.push_back(std::string(".") + job.macros.slots[slot].name);
  for (int i = 0; i < kRpfCommandCount; ++i) known.push_back(std::string(".") + kRpfCommands[i].name);
  return known;
}

std::string dotWordText(const std::string &word, const std::string &hint) {
  std::string text = formatMessage(Msg::WarnDotWord, word.c_str());
  if (!hint.empty()) text += formatMessage(Msg::CauseDidYouMean, hint.c_str());
  return text;
}

// --- The place of a failure ---------------------------------------------------

void setCause(Job &job, const std::string &text) { job.line.cause = text; }

bool placePrefix(Job &job, std::string *prefix) {
  const RunPlace &p = job.line.place;
  if (p.record < 0 || job.job.jobName == nullptr) return false;
  *prefix = std::string(job.job.jobName) + ":" + std::to_string(p.record + 1) + ": ";
  if (p.macro > 0 && p.macro < job.macros.nextSlot) *prefix += formatMessage(Msg::PlaceInMacro, job.macros.slots[p.macro].name);
  return true;
}

void writeCauseLine(Job &job) {
  std::string prefix;
  if (!job.line.cause.empty() && placePrefix(job, &prefix))
    std::fprintf(job.job.err, "%s%s\n", prefix.c_str(), job.line.cause.c_str());
}

void warnDotWord(Job &job, const char *text, int length) {
  int end = 0;
  while (end < length && text[end] != ' ') ++end;
  std::string word(text, static_cast<size_t>(end));
  if (word.size() < 2 || word[0] != '.') return;
  for (char &ch : word) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  std::vector<std::string> &warned = job.line.warnedWords;
  if (std::find(warned.begin(), warned.end(), word) != warned.end()) return;
  warned.push_back(word);
  std::vector<std::string> known = knownDotWords(job);
  if (std::find(known.begin(), known.end(), word) != known.end()) return;  // a formatter command
  std::string hint = nearestWord(word, known);
  if (hint.empty()) return;
  const RunPlace &p = job.line.place;
  if (p.record < 0 || job.job.jobName == nullptr) return;
  std::fprintf(job.job.err, "%s:%d: warning: %s\n", job.job.jobName, p.record + 1, dotWordText(word, hint).c_str());
}
