// The script in memory: loading with its byte filter, line reading, word
// counting, case folding and number reading.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "driver/Job.h"
#include "driver/Messages.h"
#include "formatter/Utf8Text.h"

// Add one byte of the input file to the script, through the byte filter.
static void keepScriptByte(Job &job, int c) {
  ScriptText &s = job.script;
  if (s.scriptLength >= kMaxScriptBytes) {
    writeMessage(job, Msg::FileTooBig);
    abortJob(job);
  }
  s.text[s.scriptLength++] = (c == '\n' || (c >= 32 && c != 127)) ? static_cast<char>(c) : ' ';
}

// Load the whole input file. Newline, the printable bytes 32 to 126 and
// every byte of 128 and above (UTF-8 text) are kept; the other control
// characters and 127 become blanks. A byte-order mark at the start is left
// out, so that the first line is read as it was written.
void loadScript(Job &job) {
  ScriptText &s = job.script;
  s.scriptLength = 0;
  int matched = 0;                      // leading bytes that match the mark; -1 past it
  int c;
  while ((c = getc_unlocked(job.job.input)) != EOF) {
    if (matched >= 0) {
      if (c == static_cast<unsigned char>(kByteOrderMark[matched])) {
        matched = matched + 1 == kByteOrderMarkBytes ? -1 : matched + 1;
        continue;
      }
      for (int i = 0; i < matched; ++i) keepScriptByte(job, static_cast<unsigned char>(kByteOrderMark[i]));
      matched = -1;
    }
    keepScriptByte(job, c);
  }
  for (int i = 0; i < matched; ++i) keepScriptByte(job, static_cast<unsigned char>(kByteOrderMark[i]));
  // A last line without a newline is still a line: close it (the text has
  // room for one byte beyond the largest script).
  if (s.scriptLength > 0 && s.text[s.scriptLength - 1] != '\n') s.text[s.scriptLength++] = '\n';
  s.cursor = 0;
}

// Copy the line at the cursor into buffer and move the cursor past it.
int readScriptLine(Job &job, char *buffer) {
  ScriptText &s = job.script;
  buffer[0] = 0;
  if (s.cursor >= s.scriptLength) return 0;
  const char *start = s.text + s.cursor;
  int available = s.scriptLength - s.cursor;
  const char *newline = static_cast<const char *>(std::memchr(start, '\n', available));
  int length = newline ? static_cast<int>(newline - start) : available;
  if (length > kMaxLineChars) {
    std::memcpy(buffer, start, kMaxLineChars);
    buffer[kMaxLineChars] = 0;
    s.cursor += kMaxLineChars + 1;
    writeMessage(job, Msg::LineTooBig);
    setCause(job, messageText(Msg::CauseLineTooBig));
    abortJob(job);
  }
  std::memcpy(buffer, start, length);
  buffer[length] = 0;
  s.cursor += length;
  if (newline == nullptr) return 0;  // never happens: loading closes the last line
  ++s.cursor;
  return 1;
}

int countWords(char *text) {
  int words = 0;
  bool inWord = false;
  for (unsigned char *p = reinterpret_cast<unsigned char *>(text); *p; ++p) {
    if (*p < 32) *p = ' ';
    if (*p == ' ') {
      inWord = false;
    } else if (!inWord) {
      inWord = true;
      ++words;
    }
  }
  return words;
}

void foldUpper(char *text) {
  for (; *text; ++text)
    if (*text >= 'a' && *text <= 'z') *text = static_cast<char>(*text - 'a' + 'A');
}

// A cut never falls inside a UTF-8 character (a .PRINT of a long value).
int cutLength(const char *from, int size) {
  constexpr size_t kCutLookahead = 64;
  size_t length = strnlen(from, static_cast<size_t>(size - 1) + kCutLookahead);
  return fitBytes(from, static_cast<int>(length), size - 1);
}

int copyText(char *to, int size, const char *from) {
  size_t length = static_cast<size_t>(cutLength(from, size));
  std::memcpy(to, from, length);
  to[length] = 0;
  return static_cast<int>(length);
}

static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

bool scanInt(const char *text, int *value) {
  const char *p = text;
  while (isSpace(*p)) ++p;
  const char *digits = p;
  if (*digits == '+' || *digits == '-') ++digits;
  if (*digits < '0' || *digits > '9') return false;
  errno = 0;
  long long v = std::strtoll(p, nullptr, 10);
  if (v > INT_MAX) v = INT_MAX;
  if (v < INT_MIN) v = INT_MIN;
  *value = static_cast<int>(v);
  return true;
}

bool scanReal(const char *text, double *value) {
  char *end = nullptr;
  double v = std::strtod(text, &end);
  if (end == text) return false;
  *value = v;
  return true;
}

// Outside the run loop the next record is read as a line of text: the
// records were cut from ScriptText by the pre-pass, which also refused
// every line too long to read.
int takeScriptLine(Job &job, char *buffer) {
  ScriptText &s = job.script;
  buffer[0] = 0;
  if (s.nextLine >= s.lineCount) return 0;
  const ScriptLine &line = s.lines[s.nextLine++];
  std::memcpy(buffer, line.text, line.length);
  buffer[line.length] = 0;
  return 1;
}
