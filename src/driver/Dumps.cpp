// Diagnostic dumps: the variables, macros and labels printed to the trace
// stream at every macro start and at the end of the job, as runFlags asks.
#include <cstdio>

#include "driver/Job.h"

// Variables in declaration order with their values.
void dumpVariables(Job &job) {
  FILE *out = job.job.trace;
  const VariableTable &vars = job.vars;
  std::fprintf(out, "<<<<< DECLARE VARIABLES DUMP No.=%d >>>>>\n", vars.count);
  for (int i = 0; i < vars.count; ++i) {
    const Variable &variable = vars.entries[i];
    if (variable.isNull) {
      std::fprintf(out, "%s = NULL\n", variable.name);
      continue;
    }
    switch (variable.kind) {
      case VariableKind::Text:
        std::fprintf(out, "%s = %s\n", variable.name, variable.textValue ? variable.textValue : "");
        break;
      case VariableKind::Real: std::fprintf(out, "%s = %20.14g\n", variable.name, variable.realValue); break;
      case VariableKind::Integer: std::fprintf(out, "%s = %12d\n", variable.name, variable.intValue); break;
    }
  }
}

// Macros with their body offsets; the header also shows the query levels.
void dumpMacros(Job &job) {
  FILE *out = job.job.trace;
  const MacroTable &macros = job.macros;
  const QueryStack &queries = job.queries;
  std::fprintf(out, "<<<<< DEFINE MACROS DUMP  No.=%d  No-Dyn=%d Cuminto=%d No-Into=%d >>>>>\n", macros.nextSlot,
               queries.queryDepth, queries.cumInto, queries.intoCount[queries.queryDepth]);
  for (int slot = 1; slot < macros.nextSlot; ++slot) {
    const Macro &macro = macros.slots[slot];
    std::fprintf(out, "%s  str=%d end=%d\n", macro.name, macro.start, macro.end);
  }
}

// Labels in the order the pre-pass found them, with their owning macro.
void dumpLabels(Job &job) {
  FILE *out = job.job.trace;
  const LabelTable &labels = job.labels;
  std::fprintf(out, "<<<<< LABELS DUMP No.=%d >>>>>\n", labels.count);
  for (int i = 0; i < labels.count; ++i) {
    const Label &label = labels.entries[i];
    const char *owner = label.owner == 0 ? "MAIN" : job.macros.slots[label.owner].name;
    std::fprintf(out, "%s  str=%d mac=%s\n", label.name, label.offset, owner ? owner : "");
  }
}

// The dumps runFlags asks for, always in the order variables, macros, labels.
void dumpTables(Job &job) {
  int flags = job.job.runFlags;
  if (flags & kFlagDumpVariables) dumpVariables(job);
  if (flags & kFlagDumpMacros) dumpMacros(job);
  if (flags & kFlagDumpLabels) dumpLabels(job);
}
