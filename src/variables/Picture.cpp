// The print statement and the picture editing of numbers.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "driver/Job.h"

constexpr int kMaxPrintItems = kMaxLineChars / 2 + 1;  // words a line can hold

// Length of the part before the first point, and of the part after it
// (-1 when there is no point).
static void splitAtPoint(const char *text, int &before, int &after) {
  const char *point = std::strchr(text, '.');
  int length = static_cast<int>(std::strlen(text));
  if (point == nullptr) {
    before = length;
    after = 0;
  } else {
    before = static_cast<int>(point - text);
    after = length - before - 1;
  }
}

// Edits the number text of a numeric variable by its picture:
//   $ and B in front (looked for as $, B, $, B) set the dollar and
//   blank-when-zero flags; before the first point 9 and 0 take digits from
//   the right (9 blank and 0 "0" once the number is used up, literals blank
//   then); after it 9 and 0 take decimals from the left (then "0").
// A value with more decimals than the picture shows is rounded half away
// from zero first. A picture longer than the work area is cut to it.
void applyPicture(const Variable &variable, char *out) {
  char number[kNumberTextSize];
  numberText(variable, number);
  char work[kNumberTextSize];
  copyText(work, sizeof work, variable.picture != nullptr ? variable.picture : "");

  bool dollarSign = false, blankWhenZero = false;
  char *picture = work;
  for (char flag : {'$', 'B', '$', 'B'}) {
    if (*picture != flag) continue;
    (flag == '$' ? dollarSign : blankWhenZero) = true;
    ++picture;
  }

  int positions = 0, decimals = 0;
  splitAtPoint(picture, positions, decimals);
  int integerChars = 0, numberDecimals = 0;
  splitAtPoint(number, integerChars, numberDecimals);

  if (numberDecimals > decimals && number[integerChars + 1 + decimals] > '4') {
    // "0." then D zeros and "5": half a unit of the last shown decimal.
    char half[kNumberTextSize + 4] = "0.";
    std::memset(half + 2, '0', decimals);
    half[2 + decimals] = '5';
    half[3 + decimals] = 0;
    double amount = std::strtod(half, nullptr);
    double rounded = variable.realValue < 0 ? variable.realValue - amount
                                            : variable.realValue + amount;
    std::snprintf(number, sizeof number, "%20.14g", rounded);
    squeezeBlanks(number);
    splitAtPoint(number, integerChars, numberDecimals);
  }

  int reader = integerChars - 1;
  for (int i = positions - 1; i >= 0; --i) {
    char &c = picture[i];
    if (c == '9' || c == '0') {
      if (reader >= 0) {
        c = number[reader--];
      } else if (c == '9') {
        c = ' ';
      }
    } else if (reader < 0) {
      c = ' ';
    }
  }
  const char *decimal = number + integerChars + 1;
  int taken = 0;
  for (int i = positions + 1; i <= positions + decimals; ++i) {
    char &c = picture[i];
    if (c != '9' && c != '0') continue;
    c = taken < numberDecimals ? decimal[taken++] : '0';
  }
  squeezeBlanks(picture);

  if (blankWhenZero && std::strpbrk(picture, "123456789") == nullptr) {
    std::snprintf(out, kNumberTextSize, " ");
  } else {
    std::snprintf(out, kNumberTextSize, dollarSign ? "$%s" : "%s", picture);
  }
}

// One item into rpfLine: two blanks for null, a text as it is (cut to the
// line), a number by its picture.
static void printItem(Job &job, const Variable &variable) {
  char *line = job.sql.rpfLine;
  if (variable.isNull) {
    std::snprintf(line, kRpfLineSize, "  ");
  } else if (variable.kind == VariableKind::Text) {
    copyText(line, kRpfLineSize, variable.textValue);
  } else {
    char edited[kNumberTextSize];
    applyPicture(variable, edited);
    copyText(line, kRpfLineSize, edited);
  }
}

// .PRINT name ...
// All names are copied out of the tokeniser before the first item is
// emitted: the formatter and anything it triggers may reuse the buffers.
void execPrint(Job &job) {
  if (job.line.wordCount < 2) failWith(job, ".PRINT Invalid\n", job.line.lineBuffer);
  char statement[kMaxLineChars + 1];
  copyText(statement, sizeof statement, job.line.lineBuffer);
  char names[kTokenBufferSize];
  const char *items[kMaxPrintItems];
  int itemCount = 0, used = 0;
  for (char *word = nextToken(job); word != nullptr && itemCount < kMaxPrintItems;
       word = nextToken(job)) {
    int length = static_cast<int>(std::strlen(word));
    if (length >= kTokenBufferSize - used) break;
    foldUpper(word);
    std::memcpy(names + used, word, length + 1);
    items[itemCount++] = names + used;
    used += length + 1;
  }
  if (itemCount == 0) failWith(job, ".PRINT Invalid\n", statement);

  for (int i = 0; i < itemCount; ++i) {
    int index = findVariable(job, items[i]);
    if (index < 0) failWith(job, "Variable name Wrong\n", statement);
    printItem(job, job.vars.entries[index]);
    emitRptLine(job);
  }
}
