// Fetching into variables: the INTO lists of the query levels, and the copy of
// one row of a query level into those variables by the columns' server
// types. fetchRow is the row path of every report, so it allocates nothing
// and converts straight from the library's values.
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "driver/Job.h"
#include "driver/Messages.h"

namespace {

int clampToInt(long number) {
  if (number > INT_MAX) return INT_MAX;
  if (number < INT_MIN) return INT_MIN;
  return static_cast<int>(number);
}

// "%.2d" of value at out, without the printf machinery (dates are on the
// row path); returns the end.
char *putTwoDigitsAtLeast(char *out, int value) {
  unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
  if (value < 0) *out++ = '-';
  if (magnitude < 10) *out++ = '0';
  return std::to_chars(out, out + 16, magnitude).ptr;
}

[[noreturn]] void failFetch(Job &job, Msg message, const char *first, const char *second, const char *sql) {
  writeMessage(job, message);
  if (first) std::fprintf(job.job.err, "%s\n", first);
  std::fprintf(job.job.err, "%s\n", second);
  std::fprintf(job.job.err, "%s\n", sql);
  abortJob(job);
}

}  // namespace

// A new INTO list for the level being collected replaces its earlier list
// and gives its entries back, so cumInto always matches what the open
// levels hold.
void startIntoList(Job &job) {
  QueryStack &queries = job.queries;
  int level = queries.queryDepth;
  queries.cumInto -= queries.intoCount[level];
  queries.intoCount[level] = 0;
  queries.intoStart[level] = queries.cumInto;
}

// One INTO variable of the level being collected (line: the INTO line).
void addIntoVariable(Job &job, int index, const char *line) {
  QueryStack &queries = job.queries;
  if (queries.cumInto >= kIntoListSize) failWith(job, Msg::TooManyInto, line);
  queries.intoList[queries.cumInto++] = index;
  ++queries.intoCount[queries.queryDepth];
}

// reeditDate: the server gives dates as mm/dd/yyyy hh:mi:ss; a report shows
// dd/mm/yyyy. The time part is dropped, the first two numbers change places
// and each number has at least two digits.
// strtol's reading of a decimal number, without the call for the plain
// digits (after at most one blank) that a date holds.
static long readDateNumber(const char *p, char **end) {
  const char *q = p + (*p == ' ' ? 1 : 0);
  long value = 0;
  int digits = 0;
  while (digits < 9 && *q >= '0' && *q <= '9') value = value * 10 + (*q++ - '0'), ++digits;
  if (digits == 0 || (*q >= '0' && *q <= '9')) return std::strtol(p, end, 10);
  *end = const_cast<char *>(q);
  return value;
}

bool reeditDate(const char *text, char *out) {
  char work[kDateTextSize];
  int length = 0;
  while (text[length] && text[length] != ' ') {
    if (length == kDateTextSize - 1) return false;  // far too long for a date
    work[length] = text[length];
    ++length;
  }
  work[length] = 0;

  int slashes = 0;
  for (char *p = work; *p && slashes < 2; ++p) {
    if (*p == '/') {
      *p = ' ';
      ++slashes;
    }
  }
  if (slashes < 2) return false;

  int numbers[3];
  const char *p = work;
  for (int &number : numbers) {
    char *end = nullptr;
    long value = readDateNumber(p, &end);
    if (end == p) return false;
    number = clampToInt(value);
    p = end;
  }
  // "%.2d/%.2d/%.2d": at most 3 * 11 + 2 characters, within kDateTextSize.
  char *end = putTwoDigitsAtLeast(out, numbers[1]);
  *end++ = '/';
  end = putTwoDigitsAtLeast(end, numbers[0]);
  *end++ = '/';
  end = putTwoDigitsAtLeast(end, numbers[2]);
  *end = 0;
  return true;
}

// A date as a report shows it, dd/mm/yyyy, from its parts: what reeditDate
// makes of the "mm/dd/yyyy hh:mi:ss" text of the same parts.
static void editDateParts(const DateParts &date, char *out) {
  char *end = putTwoDigitsAtLeast(out, date.day);
  *end++ = '/';
  end = putTwoDigitsAtLeast(end, date.month);
  *end++ = '/';
  end = putTwoDigitsAtLeast(end, date.year);
  *end = 0;
}

// fetchRow: the current row of `level` into its INTO variables. A null
// column sets isNull and keeps the previous value. A date text that is not
// three numbers separated by "/" (a DATE column of SQLite may hold any
// text) is stored as the server gave it rather than ending the job. The
// columns are read from the set's cursor directly: a set that stands on no
// row reads as nulls.
void fetchRow(Job &job, int level) {
  noteRowFetched(job);
  QueryStack &queries = job.queries;
  ODynaset &set = job.db.levelSets[level];
  int count = queries.intoCount[level];
  const int *into = queries.intoList + queries.intoStart[level];

  if (set.GetFieldCount() != count) {
    int columns = set.GetFieldCount();
    job.line.place = queries.statementAt[level];
    setCause(job, formatMessage(Msg::CauseIntoCount, count, count == 1 ? "" : "s", columns, columns == 1 ? "" : "s"));
    writeMessage(job, Msg::IntoFieldsWrong);
    std::fprintf(job.job.err, "%s\n", set.GetSQL());
    abortJob(job);
  }

  DbCursor *cursor = set.RowCursor();
  for (int i = 0; i < count; ++i) {
    Variable &variable = job.vars.entries[into[i]];
    if (cursor == nullptr || cursor->isNull(i)) {
      variable.isNull = 1;
      continue;
    }
    variable.isNull = 0;
    short type = cursor->serverType(i);

    if (type == kServerTypeChar || type == kServerTypeFixedChar) {
      const char *text = cursor->text(i);
      if (!text) text = "";
      bool ok = true;
      switch (variable.kind) {
        case VariableKind::Text: storeText(variable, text); break;
        case VariableKind::Real: ok = scanReal(text, &variable.realValue); break;
        case VariableKind::Integer: ok = scanInt(text, &variable.intValue); break;
      }
      if (!ok) {
        job.line.place = queries.statementAt[level];
        setCause(job, notANumber(text, variable.kind == VariableKind::Real, variable.name));
        failFetch(job, Msg::IllegalNumber, text, variable.name, set.GetSQL());
      }
    } else if (type == kServerTypeNumber) {
      switch (variable.kind) {
        case VariableKind::Text: {
          char number[kValueTextSize];
          formatGeneral(number, sizeof number, cursor->real(i), 20, 14);
          squeezeBlanks(number);
          storeText(variable, number);
          break;
        }
        case VariableKind::Real: variable.realValue = cursor->real(i); break;
        case VariableKind::Integer: variable.intValue = clampToInt(cursor->integer(i)); break;
      }
    } else if (type == kServerTypeDate && variable.kind == VariableKind::Text) {
      char date[kDateTextSize];
      DateParts parts;
      if (cursor->dateParts(i, &parts)) {
        editDateParts(parts, date);
        storeText(variable, date);
        continue;
      }
      const char *text = cursor->text(i);
      if (!text) text = "";
      storeText(variable, reeditDate(text, date) ? date : text);
    } else {
      job.line.place = queries.statementAt[level];
      setCause(job, formatMessage(Msg::CauseFetchType, variable.name));
      failFetch(job, Msg::InvalidDatabaseType, nullptr, variable.name, set.GetSQL());
    }
  }
}
