// The message catalogue: every text the program writes about a job's
// failure or a script's mistake, in one table, and the routines that
// format them. A run and --check take the same entries for the same
// fault, so the words cannot drift apart.
//
// Three kinds of entry:
// - the language's fixed messages, byte for byte as users and their
//   wrappers read them (each with its newline), each with the plain
//   words of its cause;
// - the cause texts, printf formats for the names at fault; a run writes
//   one after the fixed message as "FILE:LINE: cause", --check writes it
//   as its diagnostic;
// - the checker's own diagnostics, for mistakes a run never meets.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

struct Job;

enum class Msg : int {
  None = 0,
  // --- The language's fixed messages -------------------------------------
  FileTooBig,
  LineTooBig,
  DefineInvalid,
  NestedDefine,
  TooManyDefines,
  MacroNamesTooLong,
  TooManyLabels,
  LabelNamesTooLong,
  DeclareInvalid,
  TooManyDeclares,
  TextStoreFull,
  NameStoreFull,
  PictureStoreFull,
  SetInvalid,
  SetQuotes,
  EqualInvalid,
  FirstVariableWrong,
  SecondVariableWrong,
  MismatchedTypes,
  CalcInvalid,
  VariableTypeWrong,
  SecondTypeWrong,
  ThirdTypeWrong,
  SecondVariableZero,
  ZeroQuestionReal,
  ZeroQuestionInteger,
  TellNoQuotes,
  TellUnmatched,
  AskNoQuotes,
  AskUnmatched,
  AskInvalid,
  VariableNameWrong,
  IllegalNumber,
  PrintInvalid,
  GotoInvalid,
  IfNullInvalid,
  IfInvalid,
  IfNoThen,
  IfBadElse,
  LabelNameWrong,
  ExecuteInvalid,
  MacroNameWrong,
  ReportInvalid,
  SelectMacroWrong,
  BodyMacroWrong,
  HeadMacroWrong,
  FootMacroWrong,
  NotAQuery,
  IntoInvalid,
  UnexpectedEof,
  TooManyInto,
  TooManyDynasets,
  IntoFieldsWrong,
  InvalidDatabaseType,
  SqlTooLong,
  MacroNesting,
  NotFinite,
  ConnectFail,
  JobAborted,
  InputOpenFail,
  OutputOpenFail,
  OutputWriteFail,
  InvalidSwitches,
  JobStarted,
  PageCount,
  JobOver,
  ServerErrorHead,
  // The formatter's.
  RpfLineLimit,
  RpfWidthExceeded,
  RpfUnderlineFields,
  RpfUnsupported,
  RpfLineTooLong,
  RpfNotClosed,
  RpfIllegalTable,
  RpfTableDefined,
  RpfTableNotDefined,
  RpfIllegalSpn,
  RpfIllegalEpn,
  RpfIllegalSpnType,
  RpfEpnBelowSpn,
  RpfEpnTooBig,
  RpfSpnTooBig,
  RpfSpnNotAfter,
  RpfZeroFlexi,
  RpfTooManyColumnsAll,
  RpfNoColumns,
  RpfTooManyColumns,
  RpfIllegalTop,
  RpfIllegalBottom,
  RpfInvalidTopBottom,
  RpfIllegalPosition,
  RpfIllegalSection,
  RpfIllegalSkip,
  RpfIllegalSkipNo,
  RpfIllegalStart,
  RpfIllegalColumnSkips,
  RpfInvalidColSkip,
  RpfInvalidGlobalSkip,
  RpfIllegalIndent,
  RpfInvalidIndent,
  RpfIllegalTtlWidth,
  RpfFlexiPromotion,
  RpfEndposStrpos,
  // --- The program's own: the command line, the output, the run's notes ----
  OutputNameTooLong,
  ConnectTooLong,
  ConnectNoDatabase,
  ConnectDataSource,
  ConnectNoDatabaseNamed,
  OptionInvalid,
  OptionUnknown,
  OptionNeedsArgument,
  OptionBadValue,
  TraceWriteFail,
  JobStopped,
  StopSignal,
  StopTimeout,
  PasswordStopped,
  PasswordTerminal,
  PasswordNothingRead,
  PasswordPrompt,
  PasswordPromptNoUser,
  Progress,
  NeedsPages,
  OutputNotPossible,
  ModuleMissing,
  ModuleNoEntry,
  PdfFontMissing,
  PdfFontUnreadable,
  PdfWriteError,
  PdfGlyphsMissing,
  PdfGlyphsMore,
  PdfGlyphsInstall,
  PdfGlyphsOr,
  SpoolNoTemporary,
  SpoolFail,
  NoServerDate,
  NoServerDateRow,
  // the drivers' own errors, shown as the server's
  DriverNotConnected,
  DriverOneStatement,
  DriverNoDatabaseName,
  DriverNoStatement,
  DriverRolledBack,
  DriverNoSpill,
  DriverSpillUnreadable,
  DriverOptions,
  DriverOutOfMemory,
  DriverUriEscape,
  DriverUriPort,
  DriverUriParameter,
  DriverOptionNoName,
  OdbcUnknownError,
  OdbcNoDataSource,
  OdbcNoEnvironment,
  OdbcNamesTooLong,
  // --- Causes: what went wrong, naming the names at fault -----------------
  CauseFileTooBig,
  CauseLineTooBig,
  CauseDefineNoName,
  CauseNestedDefine,
  CauseTooManyMacros,
  CauseTooManyLabels,
  CauseMacroPool,
  CauseLabelPool,
  CauseDeclareNeeds,
  CauseTooManyVariables,
  CauseNeedsVariableValue,
  CauseNeedsTwoOperands,
  CauseNeedsSelectBody,
  CauseNeedsTwoVariables,
  CauseNeedsVariable,
  CauseNeedsMacro,
  CauseNeedsVariableLabel,
  CauseNeedsLabel,
  CauseDeclareLength,
  CauseNotDeclared,
  CauseDidYouMean,
  CauseNoName,
  CauseQuotedAmpersand,
  CauseRoleMacroNotDefined,
  CauseLabelNotDefined,
  CauseLabelElsewhere,
  CauseTopLevel,
  CauseInMacro,
  CauseNotANumber,
  CauseNotAnOperand,
  CauseTextInArithmetic,
  CauseKindsDiffer,
  CauseNoAnswer,
  CauseNoAnswerAgain,
  CauseDivisorAnswer,
  CauseServerRefused,
  CauseServerRefusedEnd,
  CauseConnectionLost,
  CauseAtJobEnd,
  CauseNotFinite,
  CausePlaceLine,
  CauseCut,
  CauseDetail,
  CauseHint,
  CauseIntoCount,
  CauseFetchType,
  CauseUnexpectedEof,
  WarnDotWord,
  // --- The checker's own -----------------------------------------------------
  CheckStops,
  CheckAlreadyDeclared,
  CheckAlreadyDeclaredAt,
  CheckNoDigitPosition,
  CheckNotASelect,
  CheckNoQuotes,
  CheckUnmatchedQuote,
  CheckAskOneName,
  CheckIfWords,
  CheckThenExpected,
  CheckElseExpected,
  CheckIntoEmpty,
  CheckSqlTooLong,
  CheckCannotOpen,
  CheckSummary,
  CheckNoConnection,
  CheckNeverClosedBefore,
  CheckSqlWordMacro,
  CheckIntoContinues,
  CheckStrayEnd,
  CheckServerRefuses,
  CheckNoIntoList,
  CheckColumnType,
  CheckColumnDate,
  CheckConnectTooLong,
  CheckCannotConnect,
  CheckCannotConnectReason,
  CheckNeverClosed,
  CheckMacroLikeStatement,
  CheckMacroHidesCommand,
  CheckMacroDefinedTwice,
  CheckLabelDefinedTwice,
  CheckStatementInSql,
  CheckIntoNotAfterSelect,
  CheckSqlInStatements,
  CheckLabelUnused,
  CheckMacroUnused,
  CheckVariableUnused,
  CheckTextTooWide,
  PlaceInMacro,
  DriverNoResult,
  PdfFontNotEmbedded,
  ReportForeignLink,
  ReportIsInput,
  MigrateOutsideOracle,
  MigrateOnSqlite,
  MigrateOnPostgres,
  MigrateOnMariaDb,
  MigrateHere,
  MigrateRownum,
  MigrateOuterJoin,
  MigrateConnectBy,
  MigrateEmptyText,
  MigrateEmptyTextMode,
  MigrateConcat,
  MigrateDateArithmetic,
  SqlNotADate,
  SqlYearRange,
  SqlNotAWeekday,
  SqlDateFormat,
  SqlResultTooLong,
  SqlInvalidNumber,
  SqlNumberModel,
  SqlToDate,
  SqlOutOfRange,
  SqlNumericOverflow,
  SqlDivisorZero,
  SqlIntegerOverflow,
  SqlArgumentCount,
  SqlNonNumeric,
  SqlNotAMonth,
  SqlWeekdayRange,
  SqlMeridian,
  SqlInputFormatCode,
  SqlJulianRange,
  SqlDayOfYearRange,
  SqlDayOfMonthRange,
  SqlSecondsOfDayRange,
  SqlHour12Range,
  SqlHour24Range,
  SqlMinuteRange,
  SqlSecondRange,
  SqlLiteralMismatch,
  SqlPictureEnds,
  Count
};

// What an entry is; kShared marks a cause that a run and --check both
// write for the same fault (the catalogue test runs each through both).
constexpr unsigned kLanguageText = 1;
constexpr unsigned kCauseText = 2;
constexpr unsigned kCheckerText = 4;
constexpr unsigned kShared = 8;
constexpr unsigned kProgramText = 16;     // the program's own, not the language's

struct MessageEntry {
  Msg id;
  unsigned flags;
  const char *text;                     // a printf format when it takes arguments
  Msg cause;                            // a fixed message: the cause a run writes when the
                                        // failing code names none (None: the message's words)
};

extern const MessageEntry kMessages[];
extern const int kMessageCount;

const MessageEntry &messageEntry(Msg id);
inline const char *messageText(Msg id) { return messageEntry(id).text; }
// The entry's text with its arguments put in.
std::string formatMessage(Msg id, ...);
// The entry's text with its arguments put in, written to to.
void writeMessageTo(FILE *to, Msg id, ...);
// The same to the job's message stream. The first entry written after
// job.line.message was cleared is kept there (--check clears it before a
// step of the run it guards, and reads what the step stopped with).
void writeMessage(Job &job, Msg id, ...);
// The same into buffer, as snprintf (for a fixed buffer where no string
// may be built: the signal watchdog, a reason kept for later).
int printMessage(char *buffer, size_t size, Msg id, ...);
// A fixed message's words: its text without the newline and trailing blanks.
std::string messageWords(Msg id);
// The cause a run writes after a fixed message when the failing code names
// none: the entry's cause (statement, the statement's word, in place of a
// %s), else the message's own words.
std::string defaultCause(Msg message, const char *statement);

// --- Names at fault, as both the run and --check say them -------------------

// The known word nearest to word, or "": at most two edits, fewer than the
// candidate has letters less one, and the same first letter after a
// leading "." (a word that starts otherwise is taken for another word:
// ".NET" is not a mistyped ".SET").
std::string nearestWord(const std::string &word, const std::vector<std::string> &known);
// "variable NAME is not declared", with "; did you mean NEAR?" when a
// declared variable is near; for an empty name the missing name.
std::string variableNotDeclared(Job &job, const std::string &name);
// "WORD is neither a declared variable nor a number", with the hint.
std::string notAnOperand(Job &job, const std::string &word);
// "ROLE macro NAME is not defined" (role "" or "SELECT " ...).
std::string macroNotDefined(const std::string &role, const std::string &name);
// "label NAME is not defined in macro M" (or "the top level"), and where
// it is defined instead.
std::string labelNotDefined(Job &job, const std::string &name, int owner);
// "'WORD' is not a number for INTEGER variable NAME" (REAL for a Real).
std::string notANumber(const std::string &word, bool real, const std::string &variable);
// The dot words a line may start with: statements, .REM, .DEFINE, the
// script's macros and the formatter's commands.
std::vector<std::string> knownDotWords(Job &job);
// The unknown dot word's text (warning or diagnostic), with its hint.
std::string dotWordText(const std::string &word, const std::string &hint);

// --- The place of a failure in a run -----------------------------------------

// Cause of the failure being reported, written by abortJob at the place
// of the running line; a later call before the abort replaces it.
void setCause(Job &job, const std::string &text);
// "FILE:LINE: " or "FILE:LINE: in macro NAME: " for the running line;
// false when no script line runs (the built-in statements, the command
// line, the formatter-only run).
bool placePrefix(Job &job, std::string *prefix);
// Writes the cause line, when there is a cause and a place (the cause
// stays for --check, which reads it after a step of the run it guards).
void writeCauseLine(Job &job);
// The once-per-word warning for an unknown dot word printed as text.
void warnDotWord(Job &job, const char *text, int length);
