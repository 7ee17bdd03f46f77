// Oracle's SQL on the other backends: the rewrites that need no parser,
// done on the statement's tokens (quoted text, double-quoted names and
// comments are tokens of their own and never rewritten), and the fixed
// statements of each backend's Oracle compatibility.
#include "database/OracleSql.h"

#include <strings.h>

#include <algorithm>
#include <cctype>

#include <cstdio>
#include <cstring>
#include <vector>

#include "database/SqliteDriver.h"
#include "driver/Messages.h"

namespace {

enum class TokenKind { Word, Quoted, Name, Comment, Blank, Other, Rewritten };

struct Token {
  TokenKind kind;
  std::string text;
  bool constant = false;                // a rewritten call whose value is fixed (a date of literals)
  bool date = false;                    // a rewritten call that gives a date
};

bool isWordChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
         c == '#' || (static_cast<unsigned char>(c) >= 0x80);
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The end of a quoted run opened at text[i] by quote (a doubled quote stays
// inside); an unclosed one runs to the end.
size_t quotedEnd(const char *text, size_t i, char quote) {
  for (++i; text[i]; ++i) {
    if (text[i] != quote) continue;
    if (text[i + 1] != quote) return i + 1;
    ++i;
  }
  return i;
}

size_t commentEnd(const char *text, size_t i) {
  if (text[i] == '-') {
    while (text[i] && text[i] != '\n') ++i;
    return i;
  }
  const char *close = std::strstr(text + i + 2, "*/");
  return close ? static_cast<size_t>(close - text) + 2 : std::strlen(text);
}

std::vector<Token> tokenize(const char *text) {
  std::vector<Token> tokens;
  for (size_t i = 0; text[i];) {
    size_t end = i + 1;
    TokenKind kind = TokenKind::Other;
    char c = text[i];
    if (c == '\'' || c == '"') {
      kind = c == '\'' ? TokenKind::Quoted : TokenKind::Name;
      end = quotedEnd(text, i, c);
    } else if ((c == '-' && text[i + 1] == '-') || (c == '/' && text[i + 1] == '*')) {
      kind = TokenKind::Comment;
      end = commentEnd(text, i);
    } else if (isBlank(c)) {
      kind = TokenKind::Blank;
      while (isBlank(text[end])) ++end;
    } else if (isWordChar(c)) {
      kind = TokenKind::Word;
      while (isWordChar(text[end])) ++end;
    }
    tokens.push_back({kind, std::string(text + i, end - i)});
    i = end;
  }
  return tokens;
}

bool isWord(const Token &token, const char *word) {
  return token.kind == TokenKind::Word && strcasecmp(token.text.c_str(), word) == 0;
}

bool isOther(const Token &token, char c) { return token.kind == TokenKind::Other && token.text[0] == c; }

// The index of the next token after i that is neither blank nor a comment,
// or tokens.size().
size_t nextSolid(const std::vector<Token> &tokens, size_t i) {
  for (++i; i < tokens.size(); ++i) {
    if (tokens[i].kind != TokenKind::Blank && tokens[i].kind != TokenKind::Comment) return i;
  }
  return tokens.size();
}

// The index of the solid token before i, or tokens.size() when none.
size_t previousSolid(const std::vector<Token> &tokens, size_t i) {
  while (i-- > 0) {
    if (tokens[i].kind != TokenKind::Blank && tokens[i].kind != TokenKind::Comment) return i;
  }
  return tokens.size();
}

bool solidIsWord(const std::vector<Token> &tokens, size_t i, const char *word) {
  return i < tokens.size() && isWord(tokens[i], word);
}

bool solidIsOther(const std::vector<Token> &tokens, size_t i, char c) {
  return i < tokens.size() && isOther(tokens[i], c);
}

// MINUS between two queries: a query (or a parenthesised one) follows.
bool isSetMinus(const std::vector<Token> &tokens, size_t i) {
  size_t next = nextSolid(tokens, i);
  while (solidIsOther(tokens, next, '(')) next = nextSolid(tokens, next);
  return solidIsWord(tokens, next, "SELECT") || solidIsWord(tokens, next, "WITH");
}

bool mentionsWord(const std::vector<Token> &tokens, const char *word) {
  for (const Token &token : tokens) {
    if (isWord(token, word)) return true;
  }
  return false;
}

bool isCreateTable(const std::vector<Token> &tokens) {
  size_t first = nextSolid(tokens, static_cast<size_t>(-1));
  if (!solidIsWord(tokens, first, "CREATE")) return false;
  for (size_t i = nextSolid(tokens, first); i < tokens.size() && i < first + 12; i = nextSolid(tokens, i)) {
    if (isWord(tokens[i], "TABLE")) return true;
  }
  return false;
}

// A column type stands after the column's name (a word or a quoted name).
bool followsColumnName(const std::vector<Token> &tokens, size_t i) {
  size_t before = previousSolid(tokens, i);
  return before < tokens.size() && (tokens[before].kind == TokenKind::Word || tokens[before].kind == TokenKind::Name);
}

// name.NEXTVAL at i (the word NEXTVAL or CURRVAL): the tokens of the
// sequence's name, schema included, are folded into the call. False when
// no name stands before the dot.
bool mapSequenceCall(std::vector<Token> &tokens, size_t i, const char *function) {
  if (i < 2 || !isOther(tokens[i - 1], '.')) return false;
  size_t start = i - 2;
  if (tokens[start].kind != TokenKind::Word && tokens[start].kind != TokenKind::Name) return false;
  if (start >= 2 && isOther(tokens[start - 1], '.') &&
      (tokens[start - 2].kind == TokenKind::Word || tokens[start - 2].kind == TokenKind::Name)) {
    start -= 2;
  }
  std::string name;
  for (size_t k = start; k < i - 1; ++k) name += tokens[k].text;
  std::string call = std::string(function) + "('";
  for (char c : name) {
    if (c == '\'') call += '\'';
    call += c;
  }
  call += "')";
  tokens[start] = {TokenKind::Other, call};
  for (size_t k = start + 1; k <= i; ++k) tokens[k] = {TokenKind::Blank, ""};
  return true;
}

// SYSDATE as a word of its own: not a call already, not a column of a
// named table, and not DUAL's column where DUAL has one.
bool isBareSysdate(const std::vector<Token> &tokens, size_t i, bool dualColumn) {
  if (dualColumn) return false;
  if (i > 0 && isOther(tokens[i - 1], '.')) return false;
  return !solidIsOther(tokens, nextSolid(tokens, i), '(');
}

// Where a construct will not run, for the warnings.
const char *placeOf(const SqlBackend *backend) {
  if (backend == nullptr) return messageText(Msg::MigrateOutsideOracle);
  switch (*backend) {
    case SqlBackend::Sqlite:
      return messageText(Msg::MigrateOnSqlite);
    case SqlBackend::Postgres:
      return messageText(Msg::MigrateOnPostgres);
    case SqlBackend::MariaDb:
      return messageText(Msg::MigrateOnMariaDb);
    case SqlBackend::Other:
      break;
  }
  return messageText(Msg::MigrateHere);
}

bool isComparison(const std::vector<Token> &tokens, size_t i) {
  return solidIsOther(tokens, i, '=') || solidIsOther(tokens, i, '<') || solidIsOther(tokens, i, '>');
}

// An operand that may be NULL: a column, a call or a quoted name; not a
// literal, and not a "&" reference, whose value the script knows.
bool mayBeNull(const std::vector<Token> &tokens, size_t i) {
  if (i >= tokens.size()) return false;
  const Token &token = tokens[i];
  if (token.kind == TokenKind::Quoted) return false;
  if (token.kind == TokenKind::Word)
    return !(token.text[0] >= '0' && token.text[0] <= '9') && !(i > 0 && isOther(tokens[i - 1], '&'));
  return token.kind == TokenKind::Name || isOther(token, ')');
}

// The token after the parenthesis that closes the one at open.
size_t afterClose(const std::vector<Token> &tokens, size_t open) {
  int depth = 0;
  for (size_t i = open; i < tokens.size(); ++i) {
    if (isOther(tokens[i], '(')) ++depth;
    if (isOther(tokens[i], ')') && --depth == 0) return nextSolid(tokens, i);
  }
  return tokens.size();
}

// A date value on SQLite's text: SYSDATE, DATE 'literal' or a call of
// Oracle's date functions; the index of the token after it, else 0.
size_t afterDateValue(const std::vector<Token> &tokens, size_t i) {
  static const char *const kDateFunctions[] = {"TO_DATE", "ADD_MONTHS", "LAST_DAY", "NEXT_DAY"};
  if (isWord(tokens[i], "SYSDATE")) return nextSolid(tokens, i);
  size_t next = nextSolid(tokens, i);
  if (isWord(tokens[i], "DATE") && next < tokens.size() && tokens[next].kind == TokenKind::Quoted)
    return nextSolid(tokens, next);
  for (const char *function : kDateFunctions) {
    if (isWord(tokens[i], function) && solidIsOther(tokens, next, '(')) return afterClose(tokens, next);
  }
  return 0;
}

bool isPlusOrMinus(const std::vector<Token> &tokens, size_t i) {
  return solidIsOther(tokens, i, '+') || solidIsOther(tokens, i, '-');
}

// --- MariaDB: Oracle's calls that its Oracle mode lacks ---------------------
//
// Each rewrite is made only where its result is Oracle's for every value;
// any other form of the call is sent as written, for the server to refuse.

// One argument of a call: tokens [begin, end).
struct Span {
  size_t begin, end;
};

// The arguments of the call whose parenthesis opens at open, split at its
// own commas, and the index of the closing parenthesis; false when it is
// not closed.
bool callArguments(const std::vector<Token> &tokens, size_t open, std::vector<Span> *args, size_t *close) {
  int depth = 0;
  size_t begin = open + 1;
  for (size_t i = open; i < tokens.size(); ++i) {
    if (isOther(tokens[i], '(')) {
      ++depth;
    } else if (isOther(tokens[i], ')') && --depth == 0) {
      args->push_back({begin, i});
      *close = i;
      return true;
    } else if (depth == 1 && isOther(tokens[i], ',')) {
      args->push_back({begin, i});
      begin = i + 1;
    }
  }
  return false;
}

// The text of a span without the blanks around it.
std::string spanText(const std::vector<Token> &tokens, Span span) {
  while (span.begin < span.end && tokens[span.begin].kind == TokenKind::Blank) ++span.begin;
  while (span.end > span.begin && tokens[span.end - 1].kind == TokenKind::Blank) --span.end;
  std::string text;
  for (size_t i = span.begin; i < span.end; ++i) text += tokens[i].text;
  return text;
}

// The solid tokens of a span.
std::vector<size_t> solidTokens(const std::vector<Token> &tokens, Span span) {
  std::vector<size_t> solid;
  for (size_t i = span.begin; i < span.end; ++i) {
    if (tokens[i].kind != TokenKind::Blank && tokens[i].kind != TokenKind::Comment) solid.push_back(i);
  }
  return solid;
}

// The text of a span that is one quoted literal, its doubled quotes made
// single; false for anything else.
bool literalOf(const std::vector<Token> &tokens, Span span, std::string *text) {
  std::vector<size_t> solid = solidTokens(tokens, span);
  if (solid.size() != 1 || tokens[solid[0]].kind != TokenKind::Quoted) return false;
  const std::string &quoted = tokens[solid[0]].text;
  if (quoted.size() < 2 || quoted.back() != '\'') return false;
  text->clear();
  for (size_t i = 1; i + 1 < quoted.size(); ++i) {
    *text += quoted[i];
    if (quoted[i] == '\'') ++i;
  }
  return true;
}

bool isPlainWord(const Token &token) {
  if (token.kind != TokenKind::Word) return false;
  for (char c : token.text) {
    if (!isWordChar(c)) return false;
  }
  return true;
}

// A value that may be written more than once in a rewrite: the same on
// every reading in a row. A literal, a column (name or table.name), or a
// rewritten call of literals; not a call (SYSDATE() changes while a
// statement runs), not an expression.
bool isSteadyValue(const std::vector<Token> &tokens, Span span) {
  std::vector<size_t> solid = solidTokens(tokens, span);
  if (solid.size() == 1) {
    const Token &token = tokens[solid[0]];
    return token.kind == TokenKind::Quoted || token.kind == TokenKind::Name || token.constant || isPlainWord(token);
  }
  if (solid.empty() || solid.size() % 2 == 0) return false;
  for (size_t k = 0; k < solid.size(); ++k) {
    const Token &token = tokens[solid[k]];
    bool ok = k % 2 == 1 ? isOther(token, '.') : token.kind == TokenKind::Name || isPlainWord(token);
    if (!ok) return false;
  }
  return true;
}

std::string quoteLiteral(const std::string &text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') quoted += '\'';
    quoted += c;
  }
  return quoted + "'";
}

// TO_DATE(text, model) of two literals, read here as Oracle reads it: the
// date as MariaDB's STR_TO_DATE of the ISO text (a DATE at midnight, else
// a DATETIME, as the tables' DATE columns and SQLite's dates have it).
// Text that does not fit the model is left to the server.
bool mapToDate(const std::vector<Token> &tokens, const std::vector<Span> &args, std::string *out) {
  std::string text, model = "DD-MON-RR";  // Oracle's default date format
  if (args.size() > 2 || !literalOf(tokens, args[0], &text)) return false;
  if (args.size() == 2 && !literalOf(tokens, args[1], &model)) return false;
  DateParts date;
  if (text.empty() || model.empty() || readOracleDateText(text.c_str(), model.c_str(), &date) != nullptr)
    return false;
  char sql[96];
  if (date.hour == 0 && date.minute == 0 && date.second == 0) {
    std::snprintf(sql, sizeof sql, "STR_TO_DATE('%04d-%02d-%02d', '%%Y-%%m-%%d')", date.year, date.month, date.day);
  } else {
    std::snprintf(sql, sizeof sql, "STR_TO_DATE('%04d-%02d-%02d %02d:%02d:%02d', '%%Y-%%m-%%d %%H:%%i:%%s')",
                  date.year, date.month, date.day, date.hour, date.minute, date.second);
  }
  *out = sql;
  return true;
}

// A value that is a date whatever the columns are: a rewritten TO_DATE,
// SYSDATE, or a call of the date functions that give one.
bool isDateValue(const std::vector<Token> &tokens, Span span) {
  std::vector<size_t> solid = solidTokens(tokens, span);
  if (solid.empty()) return false;
  const Token &first = tokens[solid[0]];
  if (solid.size() == 1 && (first.date || strcasecmp(first.text.c_str(), "SYSDATE()") == 0)) return true;
  static const char *const kDateCalls[] = {"ADD_MONTHS", "LAST_DAY", "NEXT_DAY", "STR_TO_DATE"};
  for (const char *call : kDateCalls) {
    if (isWord(first, call) && solid.size() > 1 && isOther(tokens[solid[1]], '(') &&
        afterClose(tokens, solid[1]) >= span.end)
      return true;
  }
  return false;
}

// A value where a date is wanted: as it is when it is one, else the date
// text MariaDB's TO_CHAR makes of it, which refuses a number, as Oracle
// refuses one there.
std::string dateText(const std::vector<Token> &tokens, Span span) {
  if (isDateValue(tokens, span)) return spanText(tokens, span);
  return "TO_CHAR(" + spanText(tokens, span) + ", 'YYYY-MM-DD HH24:MI:SS')";
}

// The letter case a part of TO_CHAR's text may be given by a function
// around DATE_FORMAT: as DATE_FORMAT writes it, UPPER or LOWER (a bit
// each; digits and punctuation allow all three).
enum CaseFit { kAsWritten = 1, kUpper = 2, kLower = 4, kAnyCase = 7 };

// One part of TO_CHAR's text: DATE_FORMAT specifiers, or an expression of
// its own (a number MariaDB has no unpadded specifier for), with the value
// written as "@".
struct DatePart {
  std::string specifiers;
  std::string expression;
  int caseFit = kAnyCase;
  int padTo = 0;                        // MONTH and DAY: blanks up to the longest name
};

// The DATE_FORMAT specifier, or the expression, of a date element in the
// model at p (its length into *length); false for an element without an
// exact equivalent.
bool datePartOf(const char *p, bool fillMode, DatePart *part, int *length) {
  struct Element {
    const char *spelling;
    const char *padded, *filled;        // specifier without and with fill mode
    const char *filledExpression;       // in fill mode, where no specifier drops the zeros
    bool name;
    int width = 0;                      // a name padded to the longest one unless in fill mode
  };
  static const Element kElements[] = {
      {"YYYY", "%Y", nullptr, "YEAR(@)", false}, {"RRRR", "%Y", nullptr, "YEAR(@)", false},
      {"YY", "%y", nullptr, "MOD(YEAR(@), 100)", false}, {"RR", "%y", nullptr, "MOD(YEAR(@), 100)", false},
      {"MONTH", "%M", "%M", nullptr, true, 9},      {"MON", "%b", "%b", nullptr, true},
      {"MM", "%m", "%c", nullptr, false},        {"MI", "%i", nullptr, "MINUTE(@)", false},
      {"DAY", "%W", "%W", nullptr, true, 9},        {"DY", "%a", "%a", nullptr, true},
      {"DDD", "%j", nullptr, "DAYOFYEAR(@)", false}, {"DD", "%d", "%e", nullptr, false},
      {"HH24", "%H", "%k", nullptr, false},      {"HH12", "%h", "%l", nullptr, false},
      {"HH", "%h", "%l", nullptr, false},        {"SS", "%s", nullptr, "SECOND(@)", false},
      {"AM", "%p", "%p", nullptr, true},         {"PM", "%p", "%p", nullptr, true},
      {"Q", nullptr, nullptr, "QUARTER(@)", false},
  };
  for (const Element &element : kElements) {
    size_t n = std::strlen(element.spelling);
    if (strncasecmp(p, element.spelling, n) != 0) continue;
    *length = static_cast<int>(n);
    *part = DatePart();
    const char *specifier = fillMode ? element.filled : element.padded;
    if (specifier) {
      part->specifiers = specifier;
    } else {
      part->expression = element.filledExpression;
    }
    if (element.name) {
      // The element's own case decides the name's: MON gives DEC, Mon Dec
      // (DATE_FORMAT's), mon dec; AM and PM are capitals as DATE_FORMAT writes them.
      bool meridian = p[0] == 'A' || p[0] == 'a' || p[0] == 'P' || p[0] == 'p';
      bool lower = std::islower(static_cast<unsigned char>(p[0])) != 0;
      bool capital = !lower && std::islower(static_cast<unsigned char>(p[1])) != 0;
      if (meridian && capital) return false;
      part->caseFit = lower ? kLower : capital ? kAsWritten : meridian ? kAsWritten | kUpper : kUpper;
      if (!fillMode) part->padTo = element.width;
    }
    return true;
  }
  return false;
}

// Literal text of a model (punctuation or "quoted text") as a part.
DatePart literalPart(const std::string &text) {
  DatePart part;
  bool upper = false, lower = false;
  for (char c : text) {
    if (c == '%') part.specifiers += '%';
    part.specifiers += c;
    upper = upper || std::isupper(static_cast<unsigned char>(c));
    lower = lower || std::islower(static_cast<unsigned char>(c));
  }
  part.caseFit = kAsWritten | (lower ? 0 : kUpper) | (upper ? 0 : kLower);
  return part;
}

// The parts of a TO_CHAR date model, or false when an element or a
// character of it has no exact equivalent.
bool datePartsOf(const std::string &model, std::vector<DatePart> *parts) {
  bool fillMode = false;
  for (const char *p = model.c_str(); *p;) {
    if (*p == '"') {
      const char *close = std::strchr(p + 1, '"');
      if (close == nullptr) return false;
      parts->push_back(literalPart(std::string(p + 1, close)));
      p = close + 1;
    } else if (std::strchr(" -/,.;:", *p)) {
      parts->push_back(literalPart(std::string(1, *p++)));
    } else if (strncasecmp(p, "FM", 2) == 0) {
      fillMode = !fillMode;             // fill mode holds for the rest of the model, or up to the next FM
      p += 2;
    } else {
      DatePart part;
      int length = 0;
      if (!datePartOf(p, fillMode, &part, &length)) return false;
      parts->push_back(part);
      p += length;
    }
  }
  return !parts->empty();
}

// The SQL of one group of parts, their value written as value.
std::string partSql(const std::vector<DatePart> &group, int caseFit, const std::string &value) {
  const DatePart &first = group.front();
  if (!first.expression.empty()) {
    std::string sql;
    for (char c : first.expression) sql += c == '@' ? value : std::string(1, c);
    return sql;
  }
  std::string specifiers;
  for (const DatePart &part : group) specifiers += part.specifiers;
  std::string sql = "DATE_FORMAT(" + value + ", " + quoteLiteral(specifiers) + ")";
  if (!(caseFit & kAsWritten)) sql = std::string(caseFit & kUpper ? "UPPER(" : "LOWER(") + sql + ")";
  if (first.padTo > 0) sql = "RPAD(" + sql + ", " + std::to_string(first.padTo) + ", ' ')";
  return sql;
}

// TO_CHAR(date, model) with a literal model of elements that DATE_FORMAT
// (with English names, as Oracle's default language has them) writes
// exactly: the value (see dateText) formatted by DATE_FORMAT in groups
// that share a letter case. A model of more than one
// group writes the value more than once, so only for a steady value.
bool mapDateToChar(const std::vector<Token> &tokens, const std::vector<Span> &args, std::string *out) {
  std::string model;
  if (args.size() != 2 || !literalOf(tokens, args[1], &model)) return false;
  std::vector<DatePart> parts;
  if (!datePartsOf(model, &parts)) return false;
  // MariaDB's own TO_CHAR writes the numbers of its ISO text as Oracle
  // does: a model of those alone stays as written.
  bool isoOnly = model.find('"') == std::string::npos;
  for (const DatePart &part : parts) {
    bool literal = part.specifiers.size() == 1 || part.specifiers == "%%";
    bool iso = part.specifiers == "%Y" || part.specifiers == "%m" || part.specifiers == "%d" ||
               part.specifiers == "%H" || part.specifiers == "%i" || part.specifiers == "%s";
    isoOnly = isoOnly && part.expression.empty() && part.caseFit == kAnyCase && (literal || iso);
  }
  if (isoOnly) return false;
  std::vector<std::string> groups;
  std::string value = dateText(tokens, args[0]);
  std::vector<DatePart> group;
  int fit = kAnyCase;
  bool expressions = false;
  auto flush = [&] {
    if (!group.empty()) groups.push_back(partSql(group, fit, value));
    group.clear();
    fit = kAnyCase;
  };
  for (const DatePart &part : parts) {
    bool alone = !part.expression.empty() || part.padTo > 0;
    expressions = expressions || !part.expression.empty();
    if (alone || (fit & part.caseFit) == 0 || (!group.empty() && group.front().padTo > 0)) flush();
    group.push_back(part);
    fit &= part.caseFit;
    if (alone) flush();
  }
  flush();
  if (groups.size() > 1 && !isSteadyValue(tokens, args[0])) return false;
  if (groups.size() == 1 && !expressions) {
    *out = groups[0];
    return true;
  }
  *out = "CONCAT(";
  for (size_t k = 0; k < groups.size(); ++k) *out += (k ? ", " : "") + groups[k];
  *out += ")";
  return true;
}

// The unit of TRUNC's and ROUND's date model: 'Y' year, 'Q' quarter, 'M'
// month, 'D' day; 0 for a model without a rewrite.
char dateUnitOf(const std::string &model) {
  static const struct {
    const char *spelling;
    char unit;
  } kUnits[] = {{"SYYYY", 'Y'}, {"YYYY", 'Y'}, {"YEAR", 'Y'}, {"SYEAR", 'Y'}, {"YYY", 'Y'}, {"YY", 'Y'},
                {"Y", 'Y'},     {"Q", 'Q'},    {"MONTH", 'M'}, {"MON", 'M'},  {"MM", 'M'},  {"RM", 'M'},
                {"DDD", 'D'},   {"DD", 'D'},   {"J", 'D'}};
  for (const auto &entry : kUnits) {
    if (strcasecmp(model.c_str(), entry.spelling) == 0) return entry.unit;
  }
  return 0;
}

// TRUNC(date[, model]) and ROUND(date[, model]) for a day, month, quarter
// or year: a DATE at midnight. ROUND goes up from noon, from the 16th day
// of the month, from the 16th day of a quarter's second month and from
// 1 July: moving the date back 15 days and on by one month (two for a
// quarter, six months for a year) and cutting gives the rounded start.
// Without a model only a value that is a date (TRUNC(n) cuts a number).
bool mapDateRound(const std::vector<Token> &tokens, const std::vector<Span> &args, bool round, std::string *out) {
  std::string model = "DD";
  if (args.size() > 2 || (args.size() == 2 && !literalOf(tokens, args[1], &model))) return false;
  if (args.size() == 1 && !isDateValue(tokens, args[0])) return false;
  char unit = dateUnitOf(model);
  if (unit == 0) return false;
  std::string v = dateText(tokens, args[0]);
  auto firstOf = [](const std::string &date, const char *specifiers) {
    return "STR_TO_DATE(DATE_FORMAT(" + date + ", '" + specifiers + "'), '%Y-%m-%d')";
  };
  switch (unit) {
    case 'D':
      *out = "DATE(" + v + (round ? " + INTERVAL 12 HOUR)" : ")");
      return true;
    case 'M':
      *out = firstOf(round ? v + " - INTERVAL 15 DAY + INTERVAL 1 MONTH" : v, "%Y-%m-01");
      return true;
    case 'Y':
      *out = firstOf(round ? v + " + INTERVAL 6 MONTH" : v, "%Y-01-01");
      return true;
    default: {                          // the quarter's first month, from the date read twice
      if (!isSteadyValue(tokens, args[0])) return false;
      std::string w = round ? "(" + v + " - INTERVAL 15 DAY + INTERVAL 2 MONTH)" : v;
      *out = "(MAKEDATE(YEAR(" + w + "), 1) + INTERVAL (QUARTER(" + w + ") - 1) * 3 MONTH)";
      return true;
    }
  }
}

// ADD_MONTHS(date, n): MariaDB's clips the day to the month's length but
// keeps the day of a month's last day (28 February to 28 March); Oracle
// gives the last day of the month for a last day. Both are read more than
// once, so only steady ones.
bool mapAddMonths(const std::vector<Token> &tokens, const std::vector<Span> &args, std::string *out) {
  if (args.size() != 2 || !isSteadyValue(tokens, args[0]) || !isSteadyValue(tokens, args[1])) return false;
  std::string d = spanText(tokens, args[0]);
  std::string moved = "ADD_MONTHS(" + d + ", " + spanText(tokens, args[1]) + ")";
  *out = "(" + moved + " + INTERVAL IF(DAYOFMONTH(" + d + ") = DAYOFMONTH(LAST_DAY(" + d + ")), DATEDIFF(LAST_DAY(" +
         moved + "), " + moved + "), 0) DAY)";
  return true;
}

// NEXT_DAY(date, 'day name'): the first such weekday after the date, its
// time of day kept. The name is English, whole or its first three letters
// (Oracle ignores what follows those).
bool mapNextDay(const std::vector<Token> &tokens, const std::vector<Span> &args, std::string *out) {
  static const char *const kDays[] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
  std::string name;
  if (args.size() != 2 || !literalOf(tokens, args[1], &name) || !isSteadyValue(tokens, args[0])) return false;
  for (int day = 0; day < 7; ++day) {
    if (name.size() < 3 || strncasecmp(name.c_str(), kDays[day], 3) != 0) continue;
    std::string d = spanText(tokens, args[0]);
    // DAYOFWEEK counts from 1 for Sunday.
    *out = "DATE_ADD(" + d + ", INTERVAL MOD(" + std::to_string(day + 7) + " - DAYOFWEEK(" + dateText(tokens, args[0]) +
           "), 7) + 1 DAY)";
    return true;
  }
  return false;
}

// The characters of UTF-8 text, one string each.
std::vector<std::string> charactersOf(const std::string &text) {
  std::vector<std::string> characters;
  for (size_t i = 0; i < text.size();) {
    size_t n = 1;
    while (i + n < text.size() && (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80) ++n;
    characters.push_back(text.substr(i, n));
    i += n;
  }
  return characters;
}

// REPLACE(text, search) removes every search (a literal; Oracle's NULL
// search keeps the text); TRANSLATE(text, 'from', 'to') of literals, as one
// REPLACE a character, where no replacement is replaced again; LTRIM and
// RTRIM with a literal set. Oracle's empty result is NULL.
bool mapTextCall(const Token &name, const std::vector<Token> &tokens, const std::vector<Span> &args, std::string *out) {
  std::string text = spanText(tokens, args[0]), from, to;
  if (isWord(name, "REPLACE")) {
    if (args.size() != 2 || !literalOf(tokens, args[1], &from) || from.empty()) return false;
    *out = "NULLIF(REPLACE(" + text + ", " + quoteLiteral(from) + ", ''), '')";
    return true;
  }
  if (isWord(name, "TRANSLATE")) {
    if (args.size() != 3 || !literalOf(tokens, args[1], &from) || !literalOf(tokens, args[2], &to) || to.empty())
      return false;
    std::vector<std::string> source = charactersOf(from), target = charactersOf(to);
    std::string sql = text;
    for (size_t k = 0; k < source.size(); ++k) {
      // A later REPLACE must not change what an earlier one wrote (one
      // that keeps its character changes nothing).
      for (size_t j = k + 1; j < source.size() && k < target.size(); ++j) {
        if (source[j] == target[k] && (j >= target.size() || target[j] != source[j])) return false;
      }
      if (k < target.size() && target[k] == source[k]) continue;
      sql = "REPLACE(" + sql + ", " + quoteLiteral(source[k]) + ", " + quoteLiteral(k < target.size() ? target[k] : "") + ")";
    }
    *out = "NULLIF(" + sql + ", '')";
    return true;
  }
  bool left = isWord(name, "LTRIM");
  if (args.size() != 2 || !literalOf(tokens, args[1], &from) || from.empty()) return false;
  std::vector<std::string> set = charactersOf(from);
  if (set.size() == 1) {
    *out = std::string("NULLIF(TRIM(") + (left ? "LEADING " : "TRAILING ") + quoteLiteral(from) + " FROM " + text + "), '')";
    return true;
  }
  // A bracket expression needs no backslash (whose meaning in a literal
  // depends on the session): "]" first, "[" and "-" last, "^" not first.
  if (from.find('\\') != std::string::npos) return false;
  std::string pattern = from.find(']') != std::string::npos ? "]" : "";
  for (const std::string &c : set) {
    if (c != "]" && c != "[" && c != "^" && c != "-") pattern += c;
  }
  if (from.find('[') != std::string::npos) pattern += "[";
  bool caretFirst = pattern.empty();
  if (!caretFirst && from.find('^') != std::string::npos) pattern += "^";
  if (from.find('-') != std::string::npos) pattern += "-";
  if (caretFirst && from.find('^') != std::string::npos) pattern += "^";
  std::string regex = left ? "^[" + pattern + "]+" : "[" + pattern + "]+$";
  *out = "NULLIF(REGEXP_REPLACE(" + text + ", " + quoteLiteral(regex) + ", ''), '')";
  return true;
}

// A span that is an integer literal, a minus sign allowed.
bool integerOf(const std::vector<Token> &tokens, Span span, long *value) {
  std::vector<size_t> solid = solidTokens(tokens, span);
  bool negative = solid.size() == 2 && isOther(tokens[solid[0]], '-');
  if (solid.size() != (negative ? 2u : 1u)) return false;
  const std::string &digits = tokens[solid.back()].text;
  if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) return false;
  *value = std::stol(digits) * (negative ? -1 : 1);
  return true;
}

// INSTR(text, search, position[, occurrence]) of a literal search, position
// and occurrence (up to 4): the occurrence-th match from the position on,
// matches overlapping, as nested LOCATEs; a negative position searches
// backwards from that character, as LOCATE does forwards in the reversed
// text. The text is read more than once, so only a steady one.
bool mapInstr(const std::vector<Token> &tokens, const std::vector<Span> &args, std::string *out) {
  std::string search;
  long position = 0, occurrence = 1;
  if (args.size() < 3 || args.size() > 4 || !literalOf(tokens, args[1], &search) || search.empty() ||
      !integerOf(tokens, args[2], &position) || position == 0 ||
      (args.size() == 4 && !integerOf(tokens, args[3], &occurrence)) || occurrence < 1 || occurrence > 4 ||
      !isSteadyValue(tokens, args[0]))
    return false;
  std::string text = spanText(tokens, args[0]);
  std::vector<std::string> characters = charactersOf(search);
  long length = static_cast<long>(characters.size());
  std::string reversed;
  for (size_t k = characters.size(); k-- > 0;) reversed += characters[k];
  bool backwards = position < 0;
  std::string haystack = backwards ? "REVERSE(" + text + ")" : text;
  std::string needle = quoteLiteral(backwards ? reversed : search);
  // A match at x starts at length(text) - x - length(search) + 2 in the
  // reversed text; one that starts at or before the position is one at or
  // after -position - length(search) + 1 there.
  long from = backwards ? std::max(1L, -position - length + 1) : position;
  std::string found = "LOCATE(" + needle + ", " + haystack + ", " + std::to_string(from) + ")";
  for (long k = 1; k < occurrence; ++k)
    found = "IF(" + found + " = 0, 0, LOCATE(" + needle + ", " + haystack + ", " + found + " + 1))";
  std::string shift = length >= 2 ? " - " + std::to_string(length - 2) : " + 1";
  *out = backwards ? "IF(" + found + " = 0, 0, CHAR_LENGTH(" + text + ") - " + found + shift + ")" : found;
  return true;
}

// MOD(m, 0) is m: the divisor is read twice, so only a steady one.
bool mapMod(const std::vector<Token> &tokens, const std::vector<Span> &args, std::string *out) {
  if (args.size() != 2 || !isSteadyValue(tokens, args[1])) return false;
  std::string divisor = spanText(tokens, args[1]);
  if (divisor.find_first_of("123456789") != std::string::npos && divisor.find_first_not_of(" \t\n\r0123456789.") == std::string::npos)
    return false;                       // a divisor that is a number other than 0 needs nothing
  *out = "CASE WHEN " + divisor + " = 0 THEN " + spanText(tokens, args[0]) + " ELSE MOD(" + spanText(tokens, args[0]) +
         ", " + divisor + ") END";
  return true;
}

// Oracle's calls that MariaDB's Oracle mode lacks, rewritten from the
// innermost out (an argument is rewritten before the call around it).
void mapMariaDbCalls(std::vector<Token> &tokens) {
  for (size_t i = tokens.size(); i-- > 0;) {
    if (tokens[i].kind != TokenKind::Word || (i > 0 && isOther(tokens[i - 1], '.'))) continue;
    size_t open = nextSolid(tokens, i);
    if (!solidIsOther(tokens, open, '(')) continue;
    std::vector<Span> args;
    size_t close = 0;
    if (!callArguments(tokens, open, &args, &close)) continue;
    std::string sql;
    bool constant = false, date = false;
    if (isWord(tokens[i], "TO_DATE")) {
      constant = date = mapToDate(tokens, args, &sql);
    } else if (isWord(tokens[i], "TO_CHAR")) {
      mapDateToChar(tokens, args, &sql);
    } else if (isWord(tokens[i], "TRUNC") || isWord(tokens[i], "ROUND")) {
      date = mapDateRound(tokens, args, isWord(tokens[i], "ROUND"), &sql);
    } else if (isWord(tokens[i], "NEXT_DAY")) {
      date = mapNextDay(tokens, args, &sql);
    } else if (isWord(tokens[i], "ADD_MONTHS")) {
      date = mapAddMonths(tokens, args, &sql);
    } else if (isWord(tokens[i], "REPLACE") || isWord(tokens[i], "TRANSLATE") || isWord(tokens[i], "LTRIM") ||
               isWord(tokens[i], "RTRIM")) {
      mapTextCall(tokens[i], tokens, args, &sql);
    } else if (isWord(tokens[i], "MOD")) {
      mapMod(tokens, args, &sql);
    } else if (isWord(tokens[i], "INSTR")) {
      mapInstr(tokens, args, &sql);
    }
    if (sql.empty()) continue;
    tokens[i] = {TokenKind::Rewritten, sql, constant, date};
    for (size_t k = i + 1; k <= close; ++k) tokens[k] = {TokenKind::Blank, ""};
  }
}

}  // namespace

std::vector<OracleConstruct> findOracleConstructs(const char *sql, const SqlBackend *backend) {
  std::vector<OracleConstruct> found;
  if (backend && *backend == SqlBackend::Other) return found;
  bool mariaDb = backend && *backend == SqlBackend::MariaDb;
  bool sqlite = !backend || *backend == SqlBackend::Sqlite;
  const char *where = placeOf(backend);
  std::vector<Token> tokens = tokenize(sql);
  bool concatSeen = false;
  size_t offset = 0;
  for (size_t i = 0; i < tokens.size(); offset += tokens[i++].text.size()) {
    const Token &token = tokens[i];
    size_t next = nextSolid(tokens, i), before = previousSolid(tokens, i);
    if (!mariaDb && isWord(token, "ROWNUM")) {
      found.push_back({offset, formatMessage(Msg::MigrateRownum, where)});
    } else if (isOther(token, '(') && solidIsOther(tokens, next, '+') && solidIsOther(tokens, nextSolid(tokens, next), ')')) {
      found.push_back({offset, formatMessage(Msg::MigrateOuterJoin, where)});
    } else if (isWord(token, "CONNECT") && solidIsWord(tokens, next, "BY")) {
      found.push_back({offset, formatMessage(Msg::MigrateConnectBy, where)});
    } else if (token.kind == TokenKind::Quoted && token.text == "''" && (isComparison(tokens, before) || isComparison(tokens, next))) {
      found.push_back({offset, formatMessage(Msg::MigrateEmptyText, where, mariaDb ? messageText(Msg::MigrateEmptyTextMode) : "")});
    } else if (!mariaDb && !concatSeen && isOther(token, '|') && i + 1 < tokens.size() && isOther(tokens[i + 1], '|') &&
               (mayBeNull(tokens, before) || mayBeNull(tokens, nextSolid(tokens, i + 1)))) {
      concatSeen = true;                // one warning a statement is enough
      found.push_back({offset, formatMessage(Msg::MigrateConcat, where)});
    } else if (sqlite && token.kind == TokenKind::Word) {
      size_t after = afterDateValue(tokens, i);
      if ((after > 0 && isPlusOrMinus(tokens, after)) || (isWord(token, "SYSDATE") && isPlusOrMinus(tokens, before)))
        found.push_back({offset, messageText(Msg::MigrateDateArithmetic)});
    }
  }
  return found;
}

SqlBackend backendOf(const char *productName) {
  if (productName == nullptr) return SqlBackend::Other;
  if (strcasecmp(productName, "SQLITE") == 0) return SqlBackend::Sqlite;
  if (strcasecmp(productName, "POSTGRESQL") == 0) return SqlBackend::Postgres;
  if (strcasecmp(productName, "MARIADB") == 0 || strcasecmp(productName, "MYSQL") == 0) return SqlBackend::MariaDb;
  return SqlBackend::Other;
}

std::string mapOracleSql(const char *sql, const SqlDialect &dialect, size_t longest) {
  SqlBackend backend = dialect.backend;
  if (backend == SqlBackend::Other) return sql;
  std::vector<Token> tokens = tokenize(sql);
  bool postgres = backend == SqlBackend::Postgres;
  bool createTable = postgres && isCreateTable(tokens);
  bool sysdateCall = backend == SqlBackend::Sqlite || backend == SqlBackend::MariaDb || (postgres && dialect.orafce);
  bool dualColumn = dialect.dualHasSysdate && mentionsWord(tokens, "DUAL");
  for (size_t i = 0; i < tokens.size(); ++i) {
    Token &token = tokens[i];
    if (token.kind != TokenKind::Word) continue;
    if (backend != SqlBackend::MariaDb && isWord(token, "MINUS") && isSetMinus(tokens, i)) {
      token.text = "EXCEPT";
    } else if (postgres && isWord(token, "NEXTVAL")) {
      mapSequenceCall(tokens, i, "nextval");
    } else if (postgres && isWord(token, "CURRVAL")) {
      mapSequenceCall(tokens, i, "currval");
    } else if (createTable && isWord(token, "NUMBER") && followsColumnName(tokens, i)) {
      token.text = "NUMERIC";
    } else if (createTable && !dialect.orafce && isWord(token, "VARCHAR2") && followsColumnName(tokens, i)) {
      token.text = "VARCHAR";
    } else if (sysdateCall && isWord(token, "SYSDATE") && isBareSysdate(tokens, i, dualColumn)) {
      token.text = backend == SqlBackend::MariaDb ? "SYSDATE()" : "sysdate()";
    }
  }
  std::string out;
  for (const Token &token : tokens) out += token.text;
  if (backend != SqlBackend::MariaDb) return out;
  // The calls' rewrites make a statement longer; one that would no longer
  // fit is sent with its calls as written.
  mapMariaDbCalls(tokens);
  std::string calls;
  for (const Token &token : tokens) calls += token.text;
  return calls.size() <= longest ? calls : out;
}

const char *currentTimeQuery(SqlBackend backend, bool time) {
  switch (backend) {
    case SqlBackend::Sqlite:
      return time ? "select strftime('%H:%M:%S', 'now', 'localtime') as now"
                  : "select strftime('%d/%m/', 'now', 'localtime') || substr(strftime('%Y', 'now', 'localtime'), 3) "
                    "as today";
    case SqlBackend::Postgres:
      return time ? "select to_char(localtimestamp, 'HH24:MI:SS') as now"
                  : "select to_char(localtimestamp, 'DD/MM/YY') as today";
    case SqlBackend::MariaDb:
      return time ? "select date_format(sysdate(), '%H:%i:%s') as now"
                  : "select date_format(sysdate(), '%d/%m/%y') as today";
    case SqlBackend::Other:
      return nullptr;
  }
  return nullptr;
}

std::string mariaDbSessionModeSql(bool oracle, bool noBackslashEscapes) {
  std::string sql = "SET SESSION sql_mode = CONCAT_WS(',', NULLIF(@@SESSION.sql_mode, '')";
  if (oracle) sql += ", 'ORACLE'";
  if (noBackslashEscapes) sql += ", 'NO_BACKSLASH_ESCAPES'";
  return sql + ")";
}

const char *orafceSearchPathSql() {
  return "SELECT (CASE"
         " WHEN NOT EXISTS (SELECT 1 FROM pg_extension WHERE extname = 'orafce')"
         " OR to_regnamespace('oracle') IS NULL THEN false"
         " WHEN 'oracle' = ANY (current_schemas(false)) THEN true"
         " WHEN current_setting('search_path') = '' THEN"
         " set_config('search_path', 'oracle, pg_catalog', false) IS NOT NULL"
         " ELSE set_config('search_path', current_setting('search_path') || ', oracle, pg_catalog', false) IS NOT NULL"
         " END)::int";
}

const char *pgDualSysdateSql() {
  return "SELECT (EXISTS (SELECT 1 FROM pg_attribute WHERE attrelid = to_regclass('dual') AND attname = 'sysdate'"
         " AND NOT attisdropped))::int";
}
