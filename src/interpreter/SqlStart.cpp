// Which SQL statement a macro's first line opens. Besides the ten keywords
// of the language, a line that is unmistakably one of the statements a
// migrated script uses opens one too: a query in parentheses, subquery
// factoring (WITH name [(columns)] AS ( ...), MERGE INTO, REPLACE INTO and
// CALL name( with the parenthesis right after the name. A text line that merely begins with such a word ("With kind
// regards") stays text.
#include <strings.h>

#include <cstring>

#include "driver/Job.h"
#include "interpreter/Interpreter.h"

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool isNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
         c == '#';
}

// A reader of a line's words and signs, blanks skipped.
struct Reader {
  const char *p;
  const char *end;

  void skipBlanks() {
    while (p < end && isBlank(*p)) ++p;
  }
  bool atEnd() {
    skipBlanks();
    return p == end;
  }
  bool sign(char c) {
    skipBlanks();
    if (p == end || *p != c) return false;
    ++p;
    return true;
  }
  // The keyword as a whole word, any case.
  bool word(const char *keyword) {
    skipBlanks();
    size_t n = std::strlen(keyword);
    if (static_cast<size_t>(end - p) < n || strncasecmp(p, keyword, n) != 0) return false;
    if (p + n < end && isNameChar(p[n])) return false;
    p += n;
    return true;
  }
  // A name, plain or in double quotes, with its schema ("a.b").
  bool name() {
    skipBlanks();
    for (;;) {
      if (p < end && *p == '"') {
        const char *close = static_cast<const char *>(std::memchr(p + 1, '"', end - p - 1));
        if (!close) return false;
        p = close + 1;
      } else {
        const char *start = p;
        while (p < end && isNameChar(*p)) ++p;
        if (p == start) return false;
      }
      if (p == end || *p != '.') return true;
      ++p;
    }
  }
  // ( name, name ... )
  bool columnList() {
    if (!sign('(')) return false;
    do {
      if (!name()) return false;
    } while (sign(','));
    return sign(')');
  }
};

// WITH [RECURSIVE] name [(columns)] AS [[NOT] MATERIALIZED] ( -- the
// parenthesis may also open the next line.
bool isFactoring(Reader r) {
  if (!r.word("WITH")) return false;
  r.word("RECURSIVE");
  if (!r.name()) return false;
  r.skipBlanks();
  if (r.p < r.end && *r.p == '(' && !r.columnList()) return false;
  if (!r.word("AS")) return false;
  r.word("NOT");
  r.word("MATERIALIZED");
  return r.atEnd() || r.sign('(');
}

// ( [ ( ... ] SELECT or WITH
bool isParenthesisedQuery(Reader r) {
  if (!r.sign('(')) return false;
  while (r.sign('(')) {
  }
  return r.word("SELECT") || r.word("WITH");
}

}  // namespace

SqlWord sqlStartOf(const char *text, int length, const char *first) {
  if (std::strcmp(first, "SELECT") == 0) return SqlWord::Select;
  if (isSqlKeyword(first)) return SqlWord::Other;
  Reader r{text, text + length};
  if (isParenthesisedQuery(r)) return SqlWord::Select;
  if (isFactoring(r)) return SqlWord::Factored;
  if ((r.word("MERGE") || r.word("REPLACE")) && r.word("INTO")) return SqlWord::Other;
  r.p = text;
  if (r.word("CALL") && r.name() && r.p < r.end && *r.p == '(') return SqlWord::Other;  // "Call me (maybe)" is text
  return SqlWord::None;
}

// Past the WITH clauses (each in parentheses), the first of the verbs
// that stands outside every parenthesis, quoted text and comment.
SqlWord factoredKindOf(const char *sql) {
  static const char *const kVerbs[] = {"INSERT", "UPDATE", "DELETE", "MERGE", "VALUES"};
  int depth = 0;
  for (const char *p = sql; *p;) {
    char c = *p;
    if (c == '\'' || c == '"') {
      const char *close = std::strchr(p + 1, c);
      if (!close) break;
      p = close + 1;
    } else if (c == '-' && p[1] == '-') {
      p += std::strcspn(p, "\n");
    } else if (c == '/' && p[1] == '*') {
      const char *close = std::strstr(p + 2, "*/");
      if (!close) break;
      p = close + 2;
    } else if (c == '(' || c == ')') {
      depth += c == '(' ? 1 : -1;
      ++p;
    } else if (isNameChar(c)) {
      const char *start = p;
      while (isNameChar(*p)) ++p;
      if (depth > 0) continue;
      size_t n = static_cast<size_t>(p - start);
      if (n == 6 && strncasecmp(start, "SELECT", 6) == 0) return SqlWord::Select;
      for (const char *verb : kVerbs) {
        if (n == std::strlen(verb) && strncasecmp(start, verb, n) == 0) return SqlWord::Other;
      }
    } else {
      ++p;
    }
  }
  return SqlWord::None;
}

const char *sqlLookingWord(const char *first) {
  static const char *const kWords[] = {"WITH",  "MERGE",   "REPLACE", "CALL",   "EXEC",    "EXECUTE", "BEGIN",
                                       "DECLARE", "VALUES", "EXPLAIN", "COMMENT", "LOCK", "UPSERT", "RENAME"};
  for (const char *word : kWords) {
    if (std::strcmp(first, word) == 0) return word;
  }
  return nullptr;
}
