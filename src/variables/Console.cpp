// The console dialogue: .TELL and .ASK, and the item-by-item reading of
// the console that .ASK and the zero-divisor question share.
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "driver/Job.h"
#include "driver/Messages.h"
#include "driver/Signals.h"

namespace {

struct ConsoleCookie {
  int fd;
  bool owned;
};

ssize_t readConsoleBytes(void *cookie, char *buffer, size_t size) {
  int fd = static_cast<ConsoleCookie *>(cookie)->fd;
  if (!waitForInput(fd)) {
    errno = EINTR;
    return -1;
  }
  ssize_t n;
  do {
    n = read(fd, buffer, size);
  } while (n < 0 && errno == EINTR);
  return n;
}

int closeConsole(void *cookie) {
  auto *console = static_cast<ConsoleCookie *>(cookie);
  int result = console->owned ? close(console->fd) : 0;
  delete console;
  return result;
}

}  // namespace

FILE *openConsoleStream(int fd, bool owned) {
  auto *cookie = new ConsoleCookie{fd, owned};
  FILE *stream = fopencookie(cookie, "r", {readConsoleBytes, nullptr, nullptr, closeConsole});
  if (stream == nullptr) closeConsole(cookie);
  return stream;
}

// Skips white space; returns the first other character, or EOF.
static int skipSpace(FILE *in) {
  int c = std::getc(in);
  while (c != EOF && std::isspace(c)) c = std::getc(in);
  return c;
}

// As "%d", with the value clamped to the 32-bit range. The character that
// ends the number goes back into the stream for the next read.
bool readConsoleInt(FILE *in, int &value) {
  int c = skipSpace(in);
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    c = std::getc(in);
  }
  if (c == EOF || !std::isdigit(c)) {
    if (c != EOF) std::ungetc(c, in);
    return false;
  }
  const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
  long long magnitude = 0;
  for (; c != EOF && std::isdigit(c); c = std::getc(in)) {
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > limit) magnitude = limit;
  }
  if (c != EOF) std::ungetc(c, in);
  value = static_cast<int>(negative ? -magnitude : magnitude);
  return true;
}

// "%lg" itself: the C library reads the longest number prefix (an out of
// range value gives an infinity or zero).
bool readConsoleReal(FILE *in, double &value) {
  double result = 0;
  if (std::fscanf(in, "%lg", &result) != 1) return false;
  value = result;
  return true;
}

int readConsoleWord(FILE *in, char *buffer, int size) {
  int c = skipSpace(in);
  if (c == EOF) return -1;
  int length = 0;
  for (; c != EOF && !std::isspace(c); c = std::getc(in)) {
    if (length < size - 1) buffer[length] = static_cast<char>(c);
    ++length;
  }
  if (c != EOF) std::ungetc(c, in);
  buffer[length < size - 1 ? length : size - 1] = 0;
  return length;
}

constexpr int kShownAnswer = 80;         // an answer named in a cause, cut here

// .TELL "message"
void execTell(Job &job, const ScriptLine &line) {
  if (line.quoteOpen < 0) failWith(job, Msg::TellNoQuotes, job.line.lineBuffer);
  if (line.quoteClose < 0) failWith(job, Msg::TellUnmatched, job.line.lineBuffer);
  std::fprintf(job.job.err, "%.*s\n", line.quoteClose - line.quoteOpen - 1, line.text + line.quoteOpen + 1);
}

// A number that could not be read: a stop, the end of the input, or text
// that is not a number (the cause names it: the job ends, so the word is
// taken from the console).
[[noreturn]] static void failAnswer(Job &job, const char *line, const Variable &variable) {
  checkStop(job);
  FILE *console = job.job.console;
  bool ended = std::feof(console) || std::ferror(console);
  char word[kShownAnswer];
  if (ended || readConsoleWord(console, word, sizeof word) < 0) {
    setCause(job, messageText(Msg::CauseNoAnswer));
  } else {
    setCause(job, notANumber(word, variable.kind == VariableKind::Real, variable.name));
  }
  failWith(job, Msg::IllegalNumber, line);
}

// .ASK "question" name
// The answer is the next item of the console; a text answer is one word,
// cut to the variable's length, and a lone "." answers the empty text.
void execAsk(Job &job, const ScriptLine &record) {
  char *line = job.line.lineBuffer;
  if (record.quoteOpen < 0) failWith(job, Msg::AskNoQuotes, line);
  if (record.quoteClose < 0) failWith(job, Msg::AskUnmatched, line);
  line[record.quoteClose] = 0;  // from here on the line shown in messages ends before the quote
  if (record.argCount != 1) failWith(job, Msg::AskInvalid, line);
  int index = requireOperandVariable(job, record.args[0], line);
  Variable &variable = job.vars.entries[index];

  std::fprintf(job.job.err, "%.*s\n", record.quoteClose - record.quoteOpen - 1, record.text + record.quoteOpen + 1);
  variable.isNull = 0;
  FILE *console = job.job.console;
  switch (variable.kind) {
    case VariableKind::Integer:
      if (!readConsoleInt(console, variable.intValue)) failAnswer(job, line, variable);
      break;
    case VariableKind::Real:
      if (!readConsoleReal(console, variable.realValue)) failAnswer(job, line, variable);
      break;
    case VariableKind::Text: {
      // Read past the declared length, then cut at a character boundary
      // like any stored value.
      constexpr int kCutLookahead = 64;
      std::vector<char> answer(static_cast<size_t>(variable.textLength) + kCutLookahead + 1);
      int length = readConsoleWord(console, answer.data(), static_cast<int>(answer.size()));
      checkStop(job);
      if (length < 0) break;            // no answer: the value stays
      if (length == 1 && answer[0] == '.') answer[0] = 0;
      storeTextSpan(variable, answer.data(), static_cast<int>(std::strlen(answer.data())));
      break;
    }
  }
}
