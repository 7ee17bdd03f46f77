// Small rules about the SQL text a job sends.
#include "database/SqlText.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "driver/Messages.h"
#include "driver/Job.h"
#include "formatter/Utf8Text.h"

namespace {

// Where SQL text stands after a run of characters.
enum class TextState { Plain, Quote, EscapeQuote, Identifier, Block, Dollar };

bool isReferenceChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
         c == '#';
}

// A character that continues a server's word (a name, a keyword, a
// number): a "$" or an E after one starts no quoted text.
bool isWordChar(char c) {
  return isReferenceChar(c) || static_cast<unsigned char>(c) >= 0x80;
}

// A dollar quote's tag character; the first may not be a digit.
bool isTagChar(char c, bool first) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || static_cast<unsigned char>(c) >= 0x80 ||
         (!first && c >= '0' && c <= '9');
}

// The scan's position in SQL text, carried from one piece of text to the
// next (the lines of a statement).
struct SqlScan {
  TextState state = TextState::Plain;
  std::string tag;                      // the open dollar quote's tag ("" for $$)

  // The length of the dollar quote delimiter at text + i, or 0.
  static size_t dollarDelimiter(const char *text, size_t i) {
    size_t j = i + 1;
    while (text[j] && text[j] != '$' && isTagChar(text[j], j == i + 1)) ++j;
    return text[j] == '$' ? j + 1 - i : 0;
  }

  // Step over what begins at text[i] (a character, an escape, a delimiter,
  // an "&" with its name); the index after it. An "&" seen is given to
  // found, when there is one.
  size_t step(const char *text, size_t i, std::vector<SqlAmpersand> *found) {
    char c = text[i];
    char next = text[i + 1];
    if (c == '&') {
      SqlAmpersand a;
      a.offset = i;
      a.quoted = state == TextState::Quote || state == TextState::EscapeQuote || state == TextState::Dollar;
      if (next == '&') {
        a.literal = true;
      } else {
        while (isReferenceChar(text[i + 1 + a.nameLength])) ++a.nameLength;
      }
      if (found) found->push_back(a);
      return i + 1 + (a.literal ? 1 : a.nameLength);
    }
    bool afterWord = i > 0 && isWordChar(text[i - 1]);
    switch (state) {
      case TextState::Plain:
        if (c == '\'') {
          bool escaped = i > 0 && (text[i - 1] == 'E' || text[i - 1] == 'e') && !(i > 1 && isWordChar(text[i - 2]));
          state = escaped ? TextState::EscapeQuote : TextState::Quote;
        } else if (c == '"') {
          state = TextState::Identifier;
        } else if (c == '/' && next == '*') {
          state = TextState::Block;
          return i + 2;
        } else if (c == '$' && !afterWord) {
          if (size_t length = dollarDelimiter(text, i)) {
            state = TextState::Dollar;
            tag.assign(text + i + 1, length - 2);
            return i + length;
          }
        }
        return i + 1;
      case TextState::Quote:
        if (c == '\'') {
          if (next == '\'') return i + 2;   // a doubled quote
          state = TextState::Plain;
        }
        return i + 1;
      case TextState::EscapeQuote:
        if (c == '\\' && next) return i + 2;
        if (c == '\'') {
          if (next == '\'') return i + 2;
          state = TextState::Plain;
        }
        return i + 1;
      case TextState::Identifier:
        if (c == '"') {
          if (next == '"') return i + 2;
          state = TextState::Plain;
        }
        return i + 1;
      case TextState::Block:
        if (c == '*' && next == '/') {
          state = TextState::Plain;
          return i + 2;
        }
        return i + 1;
      case TextState::Dollar:
        if (c == '$' && std::strncmp(text + i + 1, tag.c_str(), tag.size()) == 0 && text[i + 1 + tag.size()] == '$') {
          size_t length = tag.size() + 2;
          state = TextState::Plain;
          tag.clear();
          return i + length;
        }
        return i + 1;
    }
    return i + 1;
  }

  // Scan text; with cutAtComment, stop at a "--" comment in plain text and
  // give its offset (-1 when there is none).
  long scan(const char *text, bool cutAtComment, std::vector<SqlAmpersand> *found = nullptr) {
    for (size_t i = 0; text[i];) {
      if (cutAtComment && state == TextState::Plain && text[i] == '-' && text[i + 1] == '-')
        return static_cast<long>(i);
      i = step(text, i, found);
    }
    return -1;
  }
};

}  // namespace

int sqlLineLength(const char *statementSoFar, const char *line) {
  SqlScan scan;
  scan.scan(statementSoFar, false);     // a comment cut from an earlier line: nothing of it is left
  long found = scan.scan(line, true);
  if (found >= 0) return static_cast<int>(found);
  return static_cast<int>(std::strlen(line));
}

bool sqlEndsInPlainText(const char *text) {
  SqlScan scan;
  scan.scan(text, false);
  return scan.state == TextState::Plain;
}

std::vector<SqlAmpersand> sqlAmpersands(const char *text) {
  std::vector<SqlAmpersand> found;
  SqlScan scan;
  scan.scan(text, false, &found);
  return found;
}

long byteOffsetOfCharacter(const char *text, long position) {
  if (position < 1) return -1;
  int length = static_cast<int>(std::strlen(text));
  int at = 0;
  for (long c = 1; c < position; ++c) {
    if (at >= length) return -1;
    at += utf8CharBytes(text + at, length - at);
  }
  return at <= length ? at : -1;
}

// The line of the place is cut to kPlaceColumns around it, keeping
// kPlaceRightMargin columns after the place where it can.
void appendErrorPlace(std::string &out, const char *statement, size_t byteOffset) {
  constexpr int kPlaceColumns = 60;
  constexpr int kPlaceRightMargin = 10;
  size_t length = std::strlen(statement);
  if (byteOffset > length) return;
  // The line holding the place: "\r\n" is one line end, "\r" or "\n" alone one each.
  int lineNumber = 1;
  size_t begin = 0;
  for (size_t i = 0; i < byteOffset; ++i) {
    char c = statement[i];
    if (c == '\n' || c == '\r') {
      if (c == '\r' || i == 0 || statement[i - 1] != '\r') ++lineNumber;
      begin = i + 1;
    }
  }
  size_t end = byteOffset;
  while (end < length && statement[end] != '\n' && statement[end] != '\r') ++end;

  // Characters of the line: their byte offsets and starting columns.
  std::vector<size_t> bytes;
  std::vector<int> columns;
  int column = 0;
  size_t place = 0;
  for (size_t at = begin; at < end;) {
    if (at == byteOffset) place = bytes.size();
    int n = utf8CharBytes(statement + at, static_cast<int>(end - at));
    bytes.push_back(at);
    columns.push_back(column);
    int width = statement[at] == '\t' ? 1 : displayColumns(statement + at, n);
    column += width > 0 ? width : 1;   // a control character takes a column
    at += static_cast<size_t>(n);
  }
  if (byteOffset >= end) place = bytes.size();
  bytes.push_back(end);
  columns.push_back(column);

  size_t first = 0, last = bytes.size() - 1;   // characters shown: [first, last)
  bool cutBefore = false, cutAfter = false;
  if (columns[last] - columns[first] > kPlaceColumns) {
    if (columns[first] + kPlaceColumns >= columns[place] + kPlaceRightMargin) {
      while (columns[last] - columns[first] > kPlaceColumns) --last;
      cutAfter = true;
    } else {
      while (columns[place] + kPlaceRightMargin < columns[last]) {
        --last;
        cutAfter = true;
      }
      while (columns[last] - columns[first] > kPlaceColumns) {
        ++first;
        cutBefore = true;
      }
    }
  }

  std::string line = formatMessage(Msg::CausePlaceLine, lineNumber);
  if (cutBefore) line += messageText(Msg::CauseCut);
  int indent = static_cast<int>(line.size());
  for (size_t at = bytes[first]; at < bytes[last]; ++at) line += statement[at] == '\t' ? ' ' : statement[at];
  if (cutAfter) line += messageText(Msg::CauseCut);
  if (!out.empty()) out += '\n';
  out += line;
  out += '\n';
  out.append(static_cast<size_t>(indent + columns[place] - columns[first]), ' ');
  out += '^';
}

bool hasSqlValue(const Variable &variable) {
  return variable.kind != VariableKind::Real || variable.isNull || std::isfinite(variable.realValue);
}

void refuseNonFinite(Job &job, const Variable &variable) {
  writeMessage(job, Msg::NotFinite, variable.name);
  abortJob(job);
}

void reportRefusedEnd(Job &job, const char *statement) {
  std::snprintf(job.sql.sqlBuffer, sizeof job.sql.sqlBuffer, "%s", statement);
  reportServerError(job, formatMessage(Msg::CauseServerRefusedEnd, statement));
}
