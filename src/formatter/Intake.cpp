// RPF intake: escape marking, the word list of the current line, argument
// reading and the command table.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "driver/Job.h"
#include "driver/Signals.h"
#include "formatter/Utf8Text.h"

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

// The command a word names: index in kRpfCommands, or -1 for text. A word
// names a command when it begins with an unmarked "." or "#" followed by a
// name of the table (folded to upper case); a marked character anywhere in
// the name makes it text.
int8_t classifyWord(const char *word, const char *mark, int length) {
  if (length < 2 || mark[0] || (word[0] != '.' && word[0] != '#')) return -1;
  int nameLength = length - 1;
  if (nameLength >= kCommandNameSize) return -1;
  char name[kCommandNameSize];
  for (int i = 0; i < nameLength; ++i) {
    if (mark[i + 1]) return -1;
    char c = word[i + 1];
    name[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  name[nameLength] = '\0';
  for (int k = 0; k < kRpfCommandCount; ++k)
    if (kRpfCommands[k].name[0] == name[0] && std::strcmp(kRpfCommands[k].name, name) == 0)
      return static_cast<int8_t>(k);
  return -1;
}

constexpr int kNeedsMarking = -2;
constexpr char kNoMarks[kRpfInputSize] = {};

void classifyWords(const char *text, const char *mark, RpfWord *words, int count) {
  for (int w = 0; w < count; ++w) {
    char first = text[words[w].start];
    if (first == '.' || first == '#')
      words[w].command = classifyWord(text + words[w].start, mark + words[w].start, words[w].length);
  }
}

// One pass over line: a backslash is dropped and marks the character after
// it (all its bytes); a backslash at the end of the line is dropped;
// unmarked control characters become blanks. The marked text goes to text
// and mark, its words to words. Returns the number of words, or -1 when the
// line is longer than kMaxRpfLineChars.
int markAndSplit(const char *line, char *text, char *mark, RpfWord *words, int *length) {
  int n = 0;
  int count = 0;
  bool inWord = false;
  for (const char *p = line; *p != '\0';) {
    if (p - line >= kMaxRpfLineChars) return -1;
    int bytes = 1;
    bool marked = false;
    if (*p == '\\') {
      if (p[1] == '\0') break;
      ++p;
      marked = true;
      bytes = utf8CharBytes(p, static_cast<int>(strnlen(p, 4)));
      if (p + bytes - 1 - line >= kMaxRpfLineChars) return -1;
    }
    unsigned char c = static_cast<unsigned char>(*p);
    bool separator = !marked && (c <= ' ');
    for (int k = 0; k < bytes; ++k) {
      text[n + k] = (!marked && c < 0x20) ? ' ' : p[k];
      mark[n + k] = marked;
    }
    if (separator) {
      if (inWord) words[count - 1].length = n - words[count - 1].start;
      inWord = false;
    } else {
      if (!inWord) words[count++] = {n, 0, -1, true};
      inWord = true;
      if (c >= 0x80) words[count - 1].ascii = false;
      if (c == ' ') words[count - 1].blank = true;
    }
    n += bytes;
    p += bytes;
  }
  if (inWord) words[count - 1].length = n - words[count - 1].start;
  text[n] = '\0';
  *length = n;
  classifyWords(text, mark, words, count);
  return count;
}

// The bytes of a line as bit masks, 64 bytes a word: its blanks, its bytes
// of 128 and above. False when the line holds a backslash or a control
// character (it needs marking).
constexpr int kMaskWords = (kRpfInputSize + 63) / 64;
struct LineMasks {
  uint64_t blanks[kMaskWords];
  uint64_t high[kMaskWords];
};

#ifdef __SSE2__
// Sixteen bytes from i on into the masks; only the first `valid` count.
// Returns the bits of the bytes that need marking (control characters are
// the bytes at most 31).
unsigned maskBlock(const unsigned char *bytes, size_t i, unsigned valid, LineMasks &masks) {
  const __m128i blank = _mm_set1_epi8(' ');
  const __m128i backslash = _mm_set1_epi8('\\');
  const __m128i lastControl = _mm_set1_epi8(0x1F);
  __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes));
  __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(v, lastControl), v);
  unsigned keep = valid >= 16 ? 0xFFFFu : (1u << valid) - 1;
  unsigned special = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(control, _mm_cmpeq_epi8(v, backslash)))) & keep;
  uint64_t shift = i & 63;
  if (shift == 0) masks.blanks[i >> 6] = masks.high[i >> 6] = 0;
  masks.blanks[i >> 6] |= static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, blank))) & keep) << shift;
  masks.high[i >> 6] |= static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(v)) & keep) << shift;
  return special;
}
#endif

bool maskLine(const unsigned char *text, size_t length, LineMasks &masks) {
  size_t i = 0;
  bool special = false;
#ifdef __SSE2__
  for (; i + 16 <= length; i += 16) special |= maskBlock(text + i, i, 16, masks) != 0;
  if (i < length) {
    // The last bytes from a copy, so that nothing past the line is read.
    unsigned char last[16] = {};
    std::memcpy(last, text + i, length - i);
    special |= maskBlock(last, i, static_cast<unsigned>(length - i), masks) != 0;
  }
#else
  for (; i < length; ++i) {
    unsigned char c = text[i];
    uint64_t bit = uint64_t{1} << (i & 63);
    if ((i & 63) == 0) masks.blanks[i >> 6] = masks.high[i >> 6] = 0;
    special |= c < 0x20 || c == '\\';
    if (c == ' ') masks.blanks[i >> 6] |= bit;
    if (c >= 0x80) masks.high[i >> 6] |= bit;
  }
#endif
  return !special;
}

// splitInPlace for a line shorter than one block of masks (a value printed
// into a table, a command line of the script): the line is moved into one
// block, and its words come from the block's masks. A word ends at the
// first blank after it or at the line's end (the bit after its last byte).
int splitShort(const unsigned char *text, int length, RpfWord *words) {
  if (length == 0) return 0;
  const char *line = reinterpret_cast<const char *>(text);
  int count = 0;
#ifdef __SSE2__
  alignas(16) char block[16] = {};
  copyWordBytes(block, line, static_cast<size_t>(length));
  LineMasks masks;
  if (maskBlock(reinterpret_cast<const unsigned char *>(block), 0, static_cast<unsigned>(length), masks) != 0)
    return kNeedsMarking;
  const uint32_t within = (uint32_t{1} << length) - 1;
  const uint32_t ink = static_cast<uint32_t>(~masks.blanks[0]) & within;
  const uint32_t high = static_cast<uint32_t>(masks.high[0]);
  for (uint32_t edges = ink ^ (ink << 1); edges != 0;) {
    int start = __builtin_ctz(edges);
    edges &= edges - 1;
    int end = __builtin_ctz(edges);
    edges &= edges - 1;
    uint32_t bytes = ((uint32_t{1} << end) - 1) & ~((uint32_t{1} << start) - 1);
    words[count++] = {start, end - start, -1, (high & bytes) == 0, false};
  }
#else
  bool open = false;
  for (int i = 0; i < length; ++i) {
    unsigned char c = text[i];
    if (c < ' ' || c == '\\') return kNeedsMarking;
    if (c == ' ') {
      if (open) words[count - 1].length = i - words[count - 1].start;
      open = false;
      continue;
    }
    if (!open) words[count++] = {i, 0, -1, true, false};
    open = true;
    if (c >= 0x80) words[count - 1].ascii = false;
  }
  if (open) words[count - 1].length = length - words[count - 1].start;
#endif
  for (int k = 0; k < count; ++k) {
    char first = line[words[k].start];
    if (first == '.' || first == '#') words[k].command = classifyWord(line + words[k].start, kNoMarks + words[k].start, words[k].length);
  }
  return count;
}

// A line without backslashes and control characters is its own marked text:
// its words are found in place, without a copy. Returns the number of words,
// -1 when the line is longer than kMaxRpfLineChars, or kNeedsMarking.
//
// The words come from the masks 64 bytes at a time: a word starts at a
// byte that is no blank after a blank (or the line's start), and ends at
// the blank (or the line's end) after its last byte.
int splitInPlace(const char *line, RpfWord *words) {
  size_t length = std::strlen(line);
  if (length > static_cast<size_t>(kMaxRpfLineChars)) return -1;
  const unsigned char *text = reinterpret_cast<const unsigned char *>(line);
  if (length < 16) return splitShort(text, static_cast<int>(length), words);
  LineMasks masks;
  if (!maskLine(text, length, masks)) return kNeedsMarking;
  int count = 0;
  bool open = false;                    // words[count - 1] has no end yet
  uint64_t carry = 0;                   // the last byte of the previous word of bits was ink
  uint64_t anyHigh = 0;
  for (size_t w = 0; w * 64 < length; ++w) {
    size_t left = length - w * 64;
    uint64_t inside = left >= 64 ? ~uint64_t{0} : (uint64_t{1} << left) - 1;
    uint64_t ink = ~masks.blanks[w] & inside;
    anyHigh |= masks.high[w] & inside;
    uint64_t before = (ink << 1) | carry;
    uint64_t edges = (ink & ~before) | (~ink & before);
    carry = ink >> 63;
    for (; edges != 0; edges &= edges - 1) {
      int at = static_cast<int>(w * 64) + __builtin_ctzll(edges);
      if (open) {
        words[count - 1].length = at - words[count - 1].start;
      } else {
        words[count++] = {at, 0, -1, true, false};
      }
      open = !open;
    }
  }
  if (open) words[count - 1].length = static_cast<int>(length) - words[count - 1].start;
  for (int k = 0; k < count; ++k) {
    RpfWord &word = words[k];
    if (anyHigh != 0) word.ascii = isAsciiText(line + word.start, word.length);
    char first = line[word.start];
    if (first == '.' || first == '#') word.command = classifyWord(line + word.start, kNoMarks + word.start, word.length);
  }
  return count;
}

// The line a word points into belongs to the caller and may change once
// the line is done, but the state dump still shows the last word: keep a
// copy of it.
// A line without marks has the marks of kNoMarks, which stay.
void keepLastWord(RpfFormatter &rpf) {
  if (rpf.WordLength <= 0) {
    rpf.Word = rpf.lastWord;
    rpf.WordMark = kNoMarks;
    return;
  }
  const size_t length = static_cast<size_t>(rpf.WordLength);
  copyWordBytes(rpf.lastWord, rpf.Word, length);
  rpf.Word = rpf.lastWord;
  if (rpf.lineMark == kNoMarks) return;
  copyWordBytes(rpf.lastWordMark, rpf.WordMark, length);
  rpf.WordMark = rpf.lastWordMark;
}

// Dispatch every word of the current line, in order.
void runLine(Job &job) {
  checkStop(job);
  RpfFormatter &rpf = job.rpf;
  if (rpf.wordTotal == 0) return;
  rpf.wordNext = 0;
  // Runs of plain words go straight onto the line; a command, a word that
  // breaks the line or needs cells takes the general way.
  while (rpf.wordNext < rpf.wordTotal) {
    const int next = rpf.wordNext;
    const RpfWord &word = rpf.words[next];
    if (word.command < 0 && word.ascii && !word.blank && placePlainWords(job, next) != next) continue;
    nextWord(job);
    dispatchRpfCommand(job);
  }
  keepLastWord(rpf);
}

}  // namespace

// Sixteen bytes at a time where the machine has the instructions: the
// blanked bytes are those at most 31 and 127.
void copyInputBytes(char *to, const char *from, size_t n) {
  size_t i = 0;
#ifdef __SSE2__
  const __m128i lastControl = _mm_set1_epi8(0x1F);
  const __m128i del = _mm_set1_epi8(0x7F);
  const __m128i blank = _mm_set1_epi8(' ');
  for (; i + 16 <= n; i += 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + i));
    __m128i control = _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(v, lastControl), v), _mm_cmpeq_epi8(v, del));
    v = _mm_or_si128(_mm_andnot_si128(control, v), _mm_and_si128(control, blank));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(to + i), v);
  }
#endif
  for (; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(from[i]);
    to[i] = (c >= 32 && c != 127) ? static_cast<char>(c) : ' ';
  }
}

// One line of RPF. A line longer than rpfLine holds is refused (no longer
// line comes from a file, whose lines stop at 900 characters). The echo of
// later errors is rpfLine as marked: backslashes removed, control
// characters blanked; the marks themselves are not visible in it.
//
// Most lines hold no backslash and no control character; they are read in
// place, once, and the caller's buffer stays untouched while they run.
void feedRpfLine(Job &job, const char *line) {
  RpfFormatter &rpf = job.rpf;
  int count = splitInPlace(line, rpf.lineWords);
  if (count == kNeedsMarking) {
    int length = 0;
    count = markAndSplit(line, rpf.rpfLine, rpf.rpfMark, rpf.lineWords, &length);
    rpf.lineText = rpf.rpfLine;
    rpf.lineMark = rpf.rpfMark;
  } else {
    rpf.lineText = line;
    rpf.lineMark = kNoMarks;
  }
  if (count < 0) failWith(job, Msg::RpfLineTooLong, line);
  rpf.words = rpf.lineWords;
  rpf.wordTotal = count;
  runLine(job);
}

bool prepareRpfLine(const char *line, RpfPreparedLine &prepared) {
  static thread_local char text[kRpfInputSize];
  static thread_local char mark[kRpfInputSize];
  static thread_local RpfWord words[kRpfInputSize / 2 + 1];
  int length = 0;
  int count = markAndSplit(line, text, mark, words, &length);
  if (count < 0) return false;
  prepared.text.assign(text, static_cast<size_t>(length));
  prepared.mark.assign(mark, static_cast<size_t>(length));
  prepared.words.assign(words, words + count);
  return true;
}

void feedPreparedRpfLine(Job &job, const RpfPreparedLine &prepared) {
  RpfFormatter &rpf = job.rpf;
  rpf.lineText = prepared.text.c_str();
  rpf.lineMark = prepared.mark.data();
  rpf.words = prepared.words.data();
  rpf.wordTotal = static_cast<int>(prepared.words.size());
  runLine(job);
}

bool feedKnownScriptRpfLine(Job &job, int record) {
  const RpfFormatter &rpf = job.rpf;
  if (record < 0 || static_cast<size_t>(record) >= rpf.scriptLineIndex.size()) return false;
  int32_t index = rpf.scriptLineIndex[static_cast<size_t>(record)];
  if (index < 0) return false;
  feedPreparedRpfLine(job, rpf.scriptLines[static_cast<size_t>(index)]);
  return true;
}

void feedScriptRpfLine(Job &job, int record, const char *line) {
  RpfFormatter &rpf = job.rpf;
  RpfPreparedLine prepared;
  if (record < 0 || !prepareRpfLine(line, prepared)) {
    feedRpfLine(job, line);             // not a script line, or too long: refused there
    return;
  }
  if (rpf.scriptLineIndex.size() <= static_cast<size_t>(record))
    rpf.scriptLineIndex.resize(static_cast<size_t>(std::max(job.script.lineCount, record + 1)), -1);
  int32_t &index = rpf.scriptLineIndex[static_cast<size_t>(record)];
  index = static_cast<int32_t>(rpf.scriptLines.size());
  rpf.scriptLines.push_back(std::move(prepared));
  feedPreparedRpfLine(job, rpf.scriptLines.back());
}

bool nextWord(Job &job) {
  RpfFormatter &rpf = job.rpf;
  if (rpf.wordNext >= rpf.wordTotal) return false;
  const RpfWord &word = rpf.words[rpf.wordNext++];
  rpf.Word = rpf.lineText + word.start;
  rpf.WordMark = rpf.lineMark + word.start;
  rpf.WordLength = word.length;
  rpf.WordCommand = word.command;
  rpf.WordAscii = word.ascii;
  rpf.WordBlank = word.blank;
  return true;
}

void dispatchRpfCommand(Job &job) {
  RpfFormatter &rpf = job.rpf;
  if (rpf.WordCommand < 0) {            // text, or .XYZ that names nothing
    placeWord(job);
    return;
  }
  const RpfCommand &command = kRpfCommands[rpf.WordCommand];
  if (command.handler == nullptr) {
    writeMessage(job, Msg::RpfUnsupported);
    std::fprintf(job.job.err, "%.*s", rpf.WordLength, rpf.Word);
    abortJob(job);
  }
  command.handler(job);
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
  if (!nextWord(job)) rpfFail(job, Msg::RpfNotClosed);
}

int takeNumber(Job &job, Msg message) {
  takeWord(job);
  int value = 0;
  if (!readWordNumber(job, value)) rpfFail(job, message);
  return value;
}

void rpfFail(Job &job, Msg message) { failWith(job, message, job.rpf.lineText); }
