// RPF intake: escape marking, the word list of the current line, argument
// reading and the command table.
#include <climits>
#include <cstdio>
#include <cstring>

#include "driver/Job.h"
#include "driver/Signals.h"

namespace {

bool isSeparator(const RpfFormatter &rpf, int i) {
  char c = rpf.rpfLine[i];
  return !rpf.rpfMark[i] && (c == ' ' || c == '\t' || c == '\n');
}

// Copy line into rpfLine: a backslash is dropped and marks the character
// after it; a backslash at the end of the line is dropped. Unmarked control
// characters become blanks. Returns the number of words.
int markEscapes(RpfFormatter &rpf, const char *line) {
  int n = 0;
  for (const char *p = line; *p != '\0'; ++p) {
    bool marked = false;
    if (*p == '\\') {
      if (p[1] == '\0') break;
      ++p;
      marked = true;
    }
    unsigned char c = static_cast<unsigned char>(*p);
    rpf.rpfLine[n] = (!marked && c < 0x20) ? ' ' : *p;
    rpf.rpfMark[n] = marked;
    ++n;
  }
  rpf.rpfLine[n] = '\0';
  rpf.lineLength = n;
  int words = 0;
  for (int i = 0; i < n; ++i)
    if (!isSeparator(rpf, i) && (i == 0 || isSeparator(rpf, i - 1))) ++words;
  return words;
}

}  // namespace

// The command table, in the documented order; the refused names follow.
const RpfCommand kRpfCommands[] = {
    {"DT", execDT},     {"T", execT},       {"TE", execTE},     {"SP", execSP},
    {"S", execS},       {"B", execB},       {"NC", execNC},     {"N", execN},
    {"NP", execNP},     {"CS", execCS},     {"PAGE", execPAGE}, {"SPN", execSPN},
    {"CEN", execCEN},   {"CUL", execCUL},   {"R", execR},       {"RR", execRR},
    {"FR", execFR},     {"P", execP},       {"TTL", execTTL},   {"TTLU", execTTLU},
    {"UL", execUL},     {"I", execI},       {"APN", nullptr},   {"CL", nullptr},
    {"L", nullptr},     {"F", nullptr},     {"HS", nullptr},    {"VS", nullptr},
    {"PAUSE", nullptr},
};
const int kRpfCommandCount = sizeof kRpfCommands / sizeof kRpfCommands[0];

namespace {

// The command named by the current Word, or nullptr. A marked character
// anywhere in the name makes it text.
const RpfCommand *findRpfCommand(const Job &job) {
  const RpfFormatter &rpf = job.rpf;
  int length = rpf.WordLength - 1;
  if (length < 1 || length >= kCommandNameSize) return nullptr;
  char name[kCommandNameSize];
  for (int i = 0; i < length; ++i) {
    if (rpf.WordMark[i + 1]) return nullptr;
    char c = rpf.Word[i + 1];
    name[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  name[length] = '\0';
  for (const RpfCommand &command : kRpfCommands)
    if (command.name[0] == name[0] && std::strcmp(command.name, name) == 0) return &command;
  return nullptr;
}

}  // namespace

// One line of RPF. A line longer than rpfLine holds is refused (no longer
// line comes from a file, whose lines stop at 900 characters). The echo of
// later errors is rpfLine as marked: backslashes removed, control
// characters blanked; the marks themselves are not visible in it.
void feedRpfLine(Job &job, const char *line) {
  RpfFormatter &rpf = job.rpf;
  checkStop(job);
  if (std::strlen(line) > static_cast<size_t>(kMaxRpfLineChars))
    failWith(job, "RPF line too long\n", line);
  if (markEscapes(rpf, line) == 0) return;
  rpf.wordPos = 0;
  nextWord(job);
  do dispatchRpfCommand(job);
  while (nextWord(job));
}

bool nextWord(Job &job) {
  RpfFormatter &rpf = job.rpf;
  int i = rpf.wordPos;
  while (i < rpf.lineLength && isSeparator(rpf, i)) ++i;
  if (i >= rpf.lineLength) {
    rpf.wordPos = i;
    return false;
  }
  int n = 0;
  while (i < rpf.lineLength && !isSeparator(rpf, i)) {
    rpf.Word[n] = rpf.rpfLine[i];
    rpf.WordMark[n] = rpf.rpfMark[i];
    ++n;
    ++i;
  }
  rpf.Word[n] = '\0';
  rpf.WordLength = n;
  rpf.wordPos = i;
  return true;
}

void dispatchRpfCommand(Job &job) {
  RpfFormatter &rpf = job.rpf;
  if (!hasCommandPrefix(job) || rpf.WordLength < 2) {
    placeWord(job);
    return;
  }
  const RpfCommand *command = findRpfCommand(job);
  if (command == nullptr) {             // .XYZ is text
    placeWord(job);
    return;
  }
  if (command->handler == nullptr) {
    std::fputs("Unsupported RPF command\n", job.job.err);
    std::fprintf(job.job.err, "%s", rpf.Word);
    abortJob(job);
  }
  command->handler(job);
}

bool isTerminator(const Job &job) {
  const RpfFormatter &rpf = job.rpf;
  return rpf.WordLength == 1 && !rpf.WordMark[0] && (rpf.Word[0] == '.' || rpf.Word[0] == '#');
}

bool hasCommandPrefix(const Job &job) {
  const RpfFormatter &rpf = job.rpf;
  return rpf.WordLength > 0 && !rpf.WordMark[0] && (rpf.Word[0] == '.' || rpf.Word[0] == '#');
}

// As "%d": optional sign and digits at the start; the rest is ignored. A
// marked character is never part of a number.
bool readWordNumber(const Job &job, int &value) {
  const RpfFormatter &rpf = job.rpf;
  int i = 0;
  bool negative = false;
  if (i < rpf.WordLength && !rpf.WordMark[i] && (rpf.Word[i] == '+' || rpf.Word[i] == '-')) {
    negative = rpf.Word[i] == '-';
    ++i;
  }
  long long number = 0;
  int digits = 0;
  for (; i < rpf.WordLength && !rpf.WordMark[i] && rpf.Word[i] >= '0' && rpf.Word[i] <= '9'; ++i) {
    if (number <= INT_MAX) number = number * 10 + (rpf.Word[i] - '0');
    ++digits;
  }
  if (digits == 0) return false;
  if (negative) number = -number;
  value = number > INT_MAX ? INT_MAX : number < INT_MIN ? INT_MIN : static_cast<int>(number);
  return true;
}

void takeWord(Job &job) {
  if (!nextWord(job)) rpfFail(job, "Command not closed in 1 line\n");
}

int takeNumber(Job &job, const char *message) {
  takeWord(job);
  int value = 0;
  if (!readWordNumber(job, value)) rpfFail(job, message);
  return value;
}

void rpfFail(Job &job, const char *message) { failWith(job, message, job.rpf.rpfLine); }
