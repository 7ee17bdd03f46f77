// The print statement and the picture editing of numbers.
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <iterator>

#include "driver/Job.h"
#include "driver/Messages.h"
#include "interpreter/Interpreter.h"

// Length of the part before the first point, and of the part after it
// (-1 when there is no point).
static void splitAtPoint(const char *text, int length, int &before, int &after) {
  const char *point = static_cast<const char *>(std::memchr(text, '.', static_cast<size_t>(length)));
  if (point == nullptr) {
    before = length;
    after = 0;
  } else {
    before = static_cast<int>(point - text);
    after = length - before - 1;
  }
}

// Half a unit of the last of so many decimals (0.5, 0.05, ...), the double
// nearest to it: for up to 21 decimals 5 / 10^(decimals+1) is a single
// correctly rounded division of exact values, as reading the text would give.
static double halfUnit(int decimals) {
  static constexpr double kPowers[] = {1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,
                                       1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16,
                                       1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  if (decimals < static_cast<int>(std::size(kPowers))) return 5.0 / kPowers[decimals];
  char half[kNumberTextSize + 4] = "0.";
  std::memset(half + 2, '0', static_cast<size_t>(decimals));
  half[2 + decimals] = '5';
  half[3 + decimals] = 0;
  return std::strtod(half, nullptr);
}

// The integer part's characters that found no position (the first unplaced
// ones): a lone zero is no loss, nor the sign of a number that shows as
// zero; any other character is part of the value that would be cut off.
static bool losesCharacters(const char *number, int unplaced, bool showsZero) {
  for (int i = 0; i < unplaced; ++i) {
    if (number[i] == '0' || (number[i] == '-' && showsZero)) continue;
    return true;
  }
  return false;
}

// Copies text into out (kNumberTextSize bytes) behind an optional "$";
// returns the length written.
static int putItem(char *out, bool dollarSign, const char *text, int length) {
  int at = dollarSign ? 1 : 0;
  if (length > kNumberTextSize - 1 - at) length = kNumberTextSize - 1 - at;
  out[0] = '$';
  std::memcpy(out + at, text, static_cast<size_t>(length));
  out[at + length] = 0;
  return at + length;
}

// Reads a picture: $ and B in front (looked for as $, B, $, B) set the
// dollar and blank-when-zero flags; the rest is the editing part. A picture
// longer than the work area is cut to it.
PictureLayout readPicture(const char *picture) {
  PictureLayout layout;
  char work[kNumberTextSize];
  copyText(work, sizeof work, picture != nullptr ? picture : "");
  const char *body = work;
  for (char flag : {'$', 'B', '$', 'B'}) {
    if (*body != flag) continue;
    (flag == '$' ? layout.dollarSign : layout.blankWhenZero) = true;
    ++body;
  }
  layout.body = static_cast<short>(body - work);
  layout.width = static_cast<short>(std::strlen(body));
  layout.showsDigits = std::strpbrk(body, "90") != nullptr;
  int positions = 0, decimals = 0;
  splitAtPoint(body, layout.width, positions, decimals);
  layout.positions = static_cast<short>(positions);
  layout.decimals = static_cast<short>(decimals);
  return layout;
}

// Edits the number text of a numeric variable by its picture's layout:
//   before the first point 9 and 0 take digits from
//   the right (9 blank and 0 "0" once the number is used up, literals blank
//   then); after it 9 and 0 take decimals from the left (then "0").
// A value with more decimals than the picture shows is rounded half away
// from zero first. A number whose digits or sign do not all find a
// position fills the picture's width with '#' instead of losing them (a
// picture without 9 or 0 shows no number and prints as it stands).
int applyPicture(const Variable &variable, char *out) {
  char number[kNumberTextSize];
  int numberLength = numberText(variable, number);
  const PictureLayout &layout = variable.layout;
  char picture[kNumberTextSize];
  if (layout.width > 0) std::memcpy(picture, variable.picture + layout.body, static_cast<size_t>(layout.width));
  picture[layout.width] = 0;
  bool dollarSign = layout.dollarSign, blankWhenZero = layout.blankWhenZero;
  int positions = layout.positions, decimals = layout.decimals;

  int integerChars = 0, numberDecimals = 0;
  splitAtPoint(number, numberLength, integerChars, numberDecimals);

  if (numberDecimals > decimals && number[integerChars + 1 + decimals] > '4') {
    double amount = halfUnit(decimals);
    double rounded = variable.realValue < 0 ? variable.realValue - amount
                                            : variable.realValue + amount;
    numberLength = formatGeneral(number, sizeof number, rounded, 0, 14);
    splitAtPoint(number, numberLength, integerChars, numberDecimals);
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
  int length = squeezeBlanks(picture);

  bool showsZero = std::strpbrk(picture, "123456789") == nullptr;
  if (layout.showsDigits && losesCharacters(number, reader + 1, showsZero)) {
    int width = layout.width + (dollarSign ? 1 : 0);
    if (width > kNumberTextSize - 1) width = kNumberTextSize - 1;
    std::memset(out, '#', static_cast<size_t>(width));
    out[width] = 0;
    return width;
  }
  if (blankWhenZero && showsZero) return putItem(out, false, " ", 1);
  return putItem(out, dollarSign, picture, length);
}

// One item to the report: two blanks for null, a text as it is (cut to
// rpfLine), a number by its picture (which always fits the line).
static void printItem(Job &job, const Variable &variable) {
  static_assert(kNumberTextSize <= kRpfLineSize);
  if (variable.isNull) return emitRptText(job, "  ", 2);
  if (variable.kind == VariableKind::Text) {
    return emitRptText(job, variable.textValue, cutLength(variable.textValue, kRpfLineSize));
  }
  char *line = job.sql.rpfLine;
  emitRptText(job, line, applyPicture(variable, line));
}

// .PRINT name ...
// Each name is looked up on the line's first run and its variable kept in
// the operand. A name not declared ends the job after the items before it
// were printed; the line is then shown from the record, as the formatter
// and anything it triggers may have reused the line buffer.
void execPrint(Job &job, const ScriptLine &line) {
  if (line.wordCount < 2) failWith(job, Msg::PrintInvalid, job.line.lineBuffer);
  for (int i = 0; i < line.argCount; ++i) {
    int index = operandVariable(job, line.args[i]);
    if (index < 0) {
      char statement[kMaxLineChars + 1];
      std::memcpy(statement, line.text, static_cast<size_t>(line.length));
      statement[line.length] = 0;
      failWith(job, Msg::VariableNameWrong, statement, variableNotDeclared(job, line.args[i].word));
    }
    printItem(job, job.vars.entries[index]);
  }
}
