// The migration assistant: the Oracle-only constructs in a script's SQL
// (SQL macros and .IF conditions) that the connected backend, or without a
// connection any backend but Oracle, will not run as Oracle does. Nothing
// is said with --sql=native, whose scripts are in the backend's own SQL.
#include <cstring>

#include "checker/Checker.h"
#include "driver/Job.h"
#include "interpreter/Interpreter.h"

namespace {

void warnConstructs(Checker &c, const CheckLine &l, const std::string &sql, size_t column) {
  const SqlBackend *backend = c.backendKnown ? &c.backend : nullptr;
  for (const OracleConstruct &found : findOracleConstructs(sql.c_str(), backend))
    c.warning(l.number - 1, static_cast<int>(column + found.offset + 1), found.text);
}

bool isIf(const CheckLine &l) {
  return l.kind == LineKind::Statement && std::strcmp(kStatements[l.statement].word, ".IF") == 0;
}

}  // namespace

void checkOracleConstructs(Checker &c) {
  if (c.job.job.options.nativeSql) return;
  for (const CheckLine &l : c.lines) {
    if (l.kind == LineKind::Sql) {
      warnConstructs(c, l, l.text, 0);
    } else if (isIf(l)) {
      size_t open = l.text.find('"');
      size_t close = open == std::string::npos ? open : l.text.find('"', open + 1);
      if (close != std::string::npos) warnConstructs(c, l, l.text.substr(open + 1, close - open - 1), open + 1);
    }
  }
}
