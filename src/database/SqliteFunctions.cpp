// Oracle's SQL functions on a SQLite connection: their registration, the
// argument helpers they share, and the general ones (NVL, NVL2, DECODE,
// GREATEST, LEAST). Scripts written for an Oracle server use them, and the
// program's own date and time queries need TO_CHAR.
#include <sqlite3.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "database/OracleFunctions.h"
#include "database/SqliteDriver.h"

bool anyNull(int argc, sqlite3_value **argv) {
  for (int i = 0; i < argc; ++i) {
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return true;
  }
  return false;
}

bool anyNullOrEmpty(int argc, sqlite3_value **argv) {
  for (int i = 0; i < argc; ++i) {
    int type = sqlite3_value_type(argv[i]);
    if (type == SQLITE_NULL || ((type == SQLITE_TEXT || type == SQLITE_BLOB) && sqlite3_value_bytes(argv[i]) == 0))
      return true;
  }
  return false;
}

void argumentText(sqlite3_value *value, ArgumentText *out) {
  switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
      out->length = std::snprintf(out->buffer, sizeof out->buffer, "%lld",
                                  static_cast<long long>(sqlite3_value_int64(value)));
      out->text = out->buffer;
      return;
    case SQLITE_FLOAT:
      out->length = plainNumberText(sqlite3_value_double(value), out->buffer, sizeof out->buffer);
      out->text = out->buffer;
      return;
    case SQLITE_NULL:
      out->text = "";
      out->length = 0;
      return;
    default: {
      const unsigned char *text = sqlite3_value_text(value);
      out->text = text ? reinterpret_cast<const char *>(text) : "";
      out->length = text ? sqlite3_value_bytes(value) : 0;
    }
  }
}

void resultText(sqlite3_context *context, const char *text, int length) {
  if (length == 0) return sqlite3_result_null(context);
  sqlite3_result_text(context, text, length, SQLITE_TRANSIENT);
}

void resultError(sqlite3_context *context, Msg id, ...) {
  char message[256];
  va_list args;
  va_start(args, id);
  std::vsnprintf(message, sizeof message, messageText(id), args);
  va_end(args);
  sqlite3_result_error(context, message, -1);
}

namespace {

// NVL(a, b): a unless it is null, then b.
void nvlFunction(sqlite3_context *context, int, sqlite3_value **argv) {
  sqlite3_result_value(context, sqlite3_value_type(argv[0]) != SQLITE_NULL ? argv[0] : argv[1]);
}

// NVL2(a, b, c): b when a is not null, else c.
void nvl2Function(sqlite3_context *context, int, sqlite3_value **argv) {
  sqlite3_result_value(context, sqlite3_value_type(argv[0]) != SQLITE_NULL ? argv[1] : argv[2]);
}

// Oracle's equality in DECODE: null matches null, numbers compare by value
// (a text that is a number included), texts byte by byte.
bool decodeMatches(sqlite3_value *a, sqlite3_value *b) {
  int ta = sqlite3_value_type(a), tb = sqlite3_value_type(b);
  if (ta == SQLITE_NULL || tb == SQLITE_NULL) return ta == tb;
  bool numberA = ta == SQLITE_INTEGER || ta == SQLITE_FLOAT;
  bool numberB = tb == SQLITE_INTEGER || tb == SQLITE_FLOAT;
  if (numberA || numberB) {
    if (ta == SQLITE_INTEGER && tb == SQLITE_INTEGER) return sqlite3_value_int64(a) == sqlite3_value_int64(b);
    sqlite3_value *text = numberA ? b : a;
    if (!(numberA && numberB) && sqlite3_value_numeric_type(text) == SQLITE_TEXT) return false;
    return sqlite3_value_double(a) == sqlite3_value_double(b);
  }
  int length = sqlite3_value_bytes(a);
  if (length != sqlite3_value_bytes(b)) return false;
  if (length == 0) return true;         // an empty value has no bytes to compare, maybe no pointer
  return std::memcmp(sqlite3_value_blob(a), sqlite3_value_blob(b), static_cast<size_t>(length)) == 0;
}

// DECODE(expr, search, result, ... [, default]).
void decodeFunction(sqlite3_context *context, int argc, sqlite3_value **argv) {
  for (int i = 1; i + 1 < argc; i += 2) {
    if (decodeMatches(argv[0], argv[i])) return sqlite3_result_value(context, argv[i + 1]);
  }
  if (argc % 2 == 0) return sqlite3_result_value(context, argv[argc - 1]);
  sqlite3_result_null(context);
}

// Compare two texts as Oracle's nonpadded comparison does: byte by byte,
// a text that is the start of another the smaller.
int compareTexts(const ArgumentText &a, const ArgumentText &b) {
  int common = a.length < b.length ? a.length : b.length;
  int order = std::memcmp(a.text, b.text, static_cast<size_t>(common));
  return order != 0 ? order : a.length - b.length;
}

// GREATEST and LEAST: null when any argument is null; the first argument
// decides how all compare (numbers as numbers, anything else as text) and
// what the result is.
void extreme(sqlite3_context *context, int argc, sqlite3_value **argv, int want) {
  if (anyNull(argc, argv)) return sqlite3_result_null(context);
  int type = sqlite3_value_type(argv[0]);
  if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
    OracleNumber best, next;
    int bestAt = 0;
    if (!numberArgument(context, argv[0], &best)) return;
    for (int i = 1; i < argc; ++i) {
      if (!numberArgument(context, argv[i], &next)) return;
      bool better = best.isInteger && next.isInteger ? (next.integer > best.integer) - (next.integer < best.integer) == want
                                                     : (next.value() > best.value()) - (next.value() < best.value()) == want;
      if (better) best = next, bestAt = i;
    }
    if (best.isInteger) return sqlite3_result_int64(context, best.integer);
    if (sqlite3_value_type(argv[bestAt]) == SQLITE_FLOAT) return sqlite3_result_double(context, best.real);
    return resultNumber(context, best.real);
  }
  ArgumentText best, next;
  argumentText(argv[0], &best);
  for (int i = 1; i < argc; ++i) {
    argumentText(argv[i], &next);
    int order = compareTexts(next, best);
    if ((order > 0) - (order < 0) == want) {
      best = next;
      if (next.text == next.buffer) best.text = best.buffer;   // a number's text: best's own copy
    }
  }
  sqlite3_result_text(context, best.text, best.length, SQLITE_TRANSIENT);
}

void greatestFunction(sqlite3_context *context, int argc, sqlite3_value **argv) { extreme(context, argc, argv, 1); }
void leastFunction(sqlite3_context *context, int argc, sqlite3_value **argv) { extreme(context, argc, argv, -1); }

constexpr OracleFunction kFunctions[] = {
    {"nvl", 2, 2, nvlFunction},         {"nvl2", 3, 3, nvl2Function},         {"decode", 3, -1, decodeFunction},
    {"greatest", 1, -1, greatestFunction}, {"least", 1, -1, leastFunction},
};

// A function of any number of arguments from its fewest on: SQLite's
// message for too few.
void callWithEnoughArguments(sqlite3_context *context, int argc, sqlite3_value **argv) {
  const auto *f = static_cast<const OracleFunction *>(sqlite3_user_data(context));
  if (argc < f->fewest) return resultError(context, Msg::SqlArgumentCount, f->name);
  f->call(context, argc, argv);
}

// Register one function at each of its argument counts.
int registerFunction(sqlite3 *db, const OracleFunction &f) {
  int flags = SQLITE_UTF8 | SQLITE_INNOCUOUS | (f.deterministic ? SQLITE_DETERMINISTIC : 0);
  if (f.most < 0) {
    void *self = const_cast<OracleFunction *>(&f);
    return sqlite3_create_function_v2(db, f.name, -1, flags, self, callWithEnoughArguments, nullptr, nullptr, nullptr);
  }
  for (int n = f.fewest; n <= f.most; ++n) {
    int rc = sqlite3_create_function_v2(db, f.name, n, flags, nullptr, f.call, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return rc;
  }
  return SQLITE_OK;
}

}  // namespace

int registerOracleFunctions(sqlite3 *db, bool oracle) {
  for (auto group : {std::span<const OracleFunction>(kFunctions), oracleNumberFunctions(), oracleFormatFunctions(),
                     oracleDateFunctions(), oracleTextFunctions()}) {
    for (const OracleFunction &f : group) {
      if (f.replacesBuiltin && !oracle) continue;
      int rc = registerFunction(db, f);
      if (rc != SQLITE_OK) return rc;
    }
  }
  return SQLITE_OK;
}
