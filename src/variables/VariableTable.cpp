// The variable table: .DECLARE, the lookup by name, the server's date and
// time, and the small text and number routines the other subsystems share.
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "driver/Job.h"
#include "driver/Messages.h"
#include "driver/Signals.h"
#include "formatter/Utf8Text.h"

// FNV-1a over the name's bytes, folded to a bucket of the name index.
static unsigned hashName(const char *name) {
  unsigned h = 2166136261u;
  for (const unsigned char *p = reinterpret_cast<const unsigned char *>(name); *p; ++p) {
    h = (h ^ *p) * 16777619u;
  }
  return h & (kVariableHashSize - 1);
}

// Exact byte comparison; the caller has folded the name. First declaration
// of a name wins, as a search from index 0 would give.
int findVariable(Job &job, const char *name) {
  VariableTable &vars = job.vars;
  for (int k = vars.hashHead[hashName(name)]; k != 0; k = vars.hashNext[k - 1]) {
    if (std::strcmp(vars.entries[k - 1].name, name) == 0) return k - 1;
  }
  return -1;
}

int requireVariable(Job &job, char *word, const char *line) {
  foldUpper(word);
  int index = findVariable(job, word);
  if (index < 0) failWith(job, Msg::VariableNameWrong, line, variableNotDeclared(job, word));
  return index;
}

int operandVariable(Job &job, Operand &operand) {
  if (operand.reference >= 0) return operand.reference;
  int index = findVariable(job, operand.word);
  if (index >= 0) operand.reference = index;  // a name not yet declared is looked up again
  return index;
}

int requireOperandVariable(Job &job, Operand &operand, const char *line) {
  int index = operandVariable(job, operand);
  if (index < 0) failWith(job, Msg::VariableNameWrong, line, variableNotDeclared(job, operand.word));
  return index;
}

// Copy text with its zero into a store; nullptr when it does not fit.
static char *carve(char *store, int size, int &used, const char *text) {
  int length = static_cast<int>(std::strlen(text));
  if (length >= size - used) return nullptr;
  char *place = store + used;
  std::memcpy(place, text, length + 1);
  used += length + 1;
  return place;
}

// .DECLARE name type
// The kind comes from the type word: A<n> is Text of n characters, a word
// with a point is Real, anything else Integer. Every check runs before the
// entry is touched, so a refused declaration leaves the table as it was.
void execDeclare(Job &job, const ScriptLine &line) {
  VariableTable &vars = job.vars;
  if (line.wordCount < 3) failWith(job, Msg::DeclareInvalid, job.line.lineBuffer);
  if (vars.count >= kMaxVariables) failWith(job, Msg::TooManyDeclares, job.line.lineBuffer);
  const char *name = line.args[0].word;
  const Operand &typeOperand = line.args[1];
  const char *type = typeOperand.word;

  VariableKind kind = VariableKind::Integer;
  int textLength = 0;
  if (type[0] == 'A') {
    kind = VariableKind::Text;
    // A negative length has no meaning: refused like a missing number.
    if (!typeOperand.isInteger || typeOperand.integer < 0) {
      failWith(job, Msg::IllegalNumber, job.line.lineBuffer, messageText(Msg::CauseDeclareLength));
    }
    textLength = typeOperand.integer;
    if (textLength >= kTextStoreSize - vars.textUsed) {
      failWith(job, Msg::TextStoreFull, job.line.lineBuffer);
    }
  } else if (std::strchr(type, '.') != nullptr) {
    kind = VariableKind::Real;
  }
  if (static_cast<int>(std::strlen(name)) >= kNameStoreSize - vars.nameUsed) {
    failWith(job, Msg::NameStoreFull, job.line.lineBuffer);
  }
  if (static_cast<int>(std::strlen(type)) >= kPictureStoreSize - vars.pictureUsed) {
    failWith(job, Msg::PictureStoreFull, job.line.lineBuffer);
  }

  int index = vars.count;
  Variable &variable = vars.entries[index];
  variable = Variable{};
  variable.kind = kind;
  variable.textLength = textLength;
  variable.isNull = 1;
  variable.name = carve(vars.nameStore, kNameStoreSize, vars.nameUsed, name);
  variable.picture = carve(vars.pictureStore, kPictureStoreSize, vars.pictureUsed, type);
  if (kind != VariableKind::Text) variable.layout = readPicture(variable.picture);
  if (kind == VariableKind::Text) {
    variable.textValue = vars.textStore + vars.textUsed;
    variable.textValue[0] = 0;
    vars.textUsed += textLength + 1;
  }
  if (findVariable(job, variable.name) < 0) {
    unsigned bucket = hashName(variable.name);
    vars.hashNext[index] = vars.hashHead[bucket];
    vars.hashHead[bucket] = index + 1;
  }
  vars.count = index + 1;
}

// A value longer than the declared length (bytes) is cut at the last
// character boundary within it, never inside a UTF-8 character or between
// a character and its combining marks.
void storeTextSpan(Variable &variable, const char *text, int length) {
  if (variable.textValue == nullptr) return;
  if (length < 0) length = 0;
  length = fitBytes(text, length, variable.textLength);
  std::memmove(variable.textValue, text, length);  // the source may be the value itself
  variable.textValue[length] = 0;
}

// The text past the declared length is looked at only as far as a cut
// needs to find the end of the character it would cut.
void storeText(Variable &variable, const char *text) {
  constexpr size_t kCutLookahead = 64;
  size_t length = strnlen(text, static_cast<size_t>(variable.textLength) + kCutLookahead);
  storeTextSpan(variable, text, static_cast<int>(length));
}

// Bytes below 32 count as blanks; words are kept with one blank between.
int squeezeBlanks(char *text) {
  char *out = text;
  bool pendingBlank = false;
  for (const char *in = text; *in != 0; ++in) {
    if (static_cast<unsigned char>(*in) <= ' ') {
      pendingBlank = out != text;
      continue;
    }
    if (pendingBlank) *out++ = ' ';
    pendingBlank = false;
    *out++ = *in;
  }
  *out = 0;
  return static_cast<int>(out - text);
}

// The text of "%12d" or "%20.14g" with its padding blanks dropped: the same
// conversion without the width gives it directly.
int numberText(const Variable &variable, char *out) {
  int length = 0;
  switch (variable.kind) {
    case VariableKind::Integer: length = formatInteger(out, kNumberTextSize, variable.intValue, 0); break;
    case VariableKind::Real: length = formatGeneral(out, kNumberTextSize, variable.realValue, 0, 14); break;
    case VariableKind::Text: break;
  }
  if (length <= 0) {                    // text, or (never for these sizes) no room
    out[0] = 0;
    return 0;
  }
  return length;
}

int realToInt(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return INT_MAX;
  if (value <= -2147483648.0) return INT_MIN;
  return static_cast<int>(value);  // truncates toward zero
}

// Runs a probe query and copies field 0 of its row as text; false when the
// query fails or gives no row.
static bool probeServerText(Job &job, const char *query, char *destination) {
  ODynaset &probe = job.db.probeSet;
  bool found = probe.Open(job.db.database, query, 0) == 0 && !probe.IsEOF() &&
               probe.GetFieldValue(0, &job.db.fieldValue) == 0;
  if (found) {
    const char *text = static_cast<const char *>(job.db.fieldValue);
    std::snprintf(destination, kServerTextSize, "%s", text ? text : "");
  }
  probe.Close();
  return found;
}

// The server's date or time from DUAL, else from the backend's own
// current-time query (a DUAL without SYSDATE, MariaDB's built-in one); when
// neither gives it, the text stays empty and the job goes on with a warning
// and the server's reason.
static void fetchServerText(Job &job, const char *dualQuery, bool time, char *destination) {
  destination[0] = 0;
  DbDriver *driver = job.db.database.driver();
  const char *own = currentTimeQuery(backendOf(job.db.database.ProductName()), time);
  bool dualFirst = own == nullptr || driver == nullptr || driver->dualHasSysdate();
  if (dualFirst && probeServerText(job, dualQuery, destination)) return;
  std::string reason = job.db.database.GetServerErrorText();
  if (own && probeServerText(job, own, destination)) return;
  if (own) reason = job.db.database.GetServerErrorText();
  checkStop(job);                       // a probe cut short by a stop is no missing date
  if (reason.empty()) reason = messageText(Msg::NoServerDateRow);
  writeMessage(job, Msg::NoServerDate, time ? "time" : "date",
               time ? "$$TIME$$" : "$$DATE$$", reason.c_str());
}

void fetchServerDate(Job &job, char *destination) {
  fetchServerText(job, "select to_char(sysdate,'dd/mm/yy') as today from dual", false, destination);
}

void fetchServerTime(Job &job, char *destination) {
  fetchServerText(job, "select to_char(sysdate,'hh24:mi:ss') as now from dual", true, destination);
}
