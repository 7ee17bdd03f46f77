// The message catalogue's table, the formatting of its entries, the
// near-name search, and the cause line a failed run writes at its place.
#include "driver/Messages.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstring>

#include "driver/Job.h"
#include "interpreter/Interpreter.h"

// clang-format off
const MessageEntry kMessages[] = {
  {Msg::None, 0, "", Msg::None},
  // The language's fixed messages, each with its cause in plain words.
  {Msg::FileTooBig, kLanguageText, "file too big\n", Msg::CauseFileTooBig},
  {Msg::LineTooBig, kLanguageText, "line too big\n", Msg::CauseLineTooBig},
  {Msg::DefineInvalid, kLanguageText, ".DEFINE Invalid\n", Msg::CauseDefineNoName},
  {Msg::NestedDefine, kLanguageText, "Nested Define Not Allowed\n", Msg::CauseNestedDefine},
  {Msg::TooManyDefines, kLanguageText, ">100 DEFINEs\n", Msg::CauseTooManyMacros},
  {Msg::MacroNamesTooLong, kLanguageText, "Macro names too long\n", Msg::CauseMacroPool},
  {Msg::TooManyLabels, kLanguageText, ">100 LABELs\n", Msg::CauseTooManyLabels},
  {Msg::LabelNamesTooLong, kLanguageText, "Label names too long\n", Msg::CauseLabelPool},
  {Msg::DeclareInvalid, kLanguageText, ".DECLARE Invalid\n", Msg::CauseDeclareNeeds},
  {Msg::TooManyDeclares, kLanguageText, ">300 DECLAREs\n", Msg::CauseTooManyVariables},
  {Msg::TextStoreFull, kLanguageText, "Text store full\n", Msg::None},
  {Msg::NameStoreFull, kLanguageText, "Name store full\n", Msg::None},
  {Msg::PictureStoreFull, kLanguageText, "Picture store full\n", Msg::None},
  {Msg::SetInvalid, kLanguageText, ".SET Invalid\n", Msg::CauseNeedsVariableValue},
  {Msg::SetQuotes, kLanguageText, ".SET Quotes do not match \n", Msg::None},
  {Msg::EqualInvalid, kLanguageText, ".EQUAL Invalid\n", Msg::CauseNeedsTwoVariables},
  {Msg::FirstVariableWrong, kLanguageText, "1st Variable name Wrong\n", Msg::None},
  {Msg::SecondVariableWrong, kLanguageText, "2nd Variable name Wrong\n", Msg::None},
  {Msg::MismatchedTypes, kLanguageText, "Variables have mismatched types\n", Msg::None},
  {Msg::CalcInvalid, kLanguageText, "Calculation Invalid\n", Msg::CauseNeedsTwoOperands},
  {Msg::VariableTypeWrong, kLanguageText, "Variable Type Wrong\n", Msg::None},
  {Msg::SecondTypeWrong, kLanguageText, "2nd Variable Type Wrong\n", Msg::None},
  {Msg::ThirdTypeWrong, kLanguageText, "3rd Variable Type Wrong\n", Msg::None},
  {Msg::SecondVariableZero, kLanguageText, "2nd Variable ZERO\n", Msg::None},
  {Msg::ZeroQuestionReal, kLanguageText, "Enter 'y' to continue with NULL; 'n' to abandon job \n", Msg::None},
  {Msg::ZeroQuestionInteger, kLanguageText, "Enter 'y' to continue with NULL result; 'n' to abandon job \n",
   Msg::None},
  {Msg::TellNoQuotes, kLanguageText, ".TELL Invalid - no quotes\n", Msg::CheckNoQuotes},
  {Msg::TellUnmatched, kLanguageText, ".TELL Invalid - unmatched quotes\n", Msg::CheckUnmatchedQuote},
  {Msg::AskNoQuotes, kLanguageText, ".ASK Invalid - no quotes\n", Msg::CheckNoQuotes},
  {Msg::AskUnmatched, kLanguageText, ".ASK Invalid - unmatched quotesd\n", Msg::CheckUnmatchedQuote},
  {Msg::AskInvalid, kLanguageText, ".ASK Invalid\n", Msg::CheckAskOneName},
  {Msg::VariableNameWrong, kLanguageText, "Variable name Wrong\n", Msg::None},
  {Msg::IllegalNumber, kLanguageText, "Illegal Number\n", Msg::None},
  {Msg::PrintInvalid, kLanguageText, ".PRINT Invalid\n", Msg::CauseNeedsVariable},
  {Msg::GotoInvalid, kLanguageText, ".GOTO Invalid\n", Msg::CauseNeedsLabel},
  {Msg::IfNullInvalid, kLanguageText, ".IFNULL Invalid\n", Msg::CauseNeedsVariableLabel},
  {Msg::IfInvalid, kLanguageText, ".IF invalid\n", Msg::CheckIfWords},
  {Msg::IfNoThen, kLanguageText, ".IF no THEN \n", Msg::None},
  {Msg::IfBadElse, kLanguageText, ".IF bad ELSE \n", Msg::None},
  {Msg::LabelNameWrong, kLanguageText, "Label name Wrong\n", Msg::None},
  {Msg::ExecuteInvalid, kLanguageText, ".EXECUTE Invalid\n", Msg::CauseNeedsMacro},
  {Msg::MacroNameWrong, kLanguageText, "macro name Wrong\n", Msg::None},
  {Msg::ReportInvalid, kLanguageText, ".REPORT Invalid\n", Msg::CauseNeedsSelectBody},
  {Msg::SelectMacroWrong, kLanguageText, "SELECT macro name Wrong\n", Msg::None},
  {Msg::BodyMacroWrong, kLanguageText, "BODY macro name Wrong\n", Msg::None},
  {Msg::HeadMacroWrong, kLanguageText, "HEAD macro name Wrong\n", Msg::None},
  {Msg::FootMacroWrong, kLanguageText, "FOOT macro name Wrong\n", Msg::None},
  {Msg::NotAQuery, kLanguageText, "SELECT macro not a query\n", Msg::None},
  {Msg::IntoInvalid, kLanguageText, "INTO Invalid\n", Msg::CheckIntoEmpty},
  {Msg::UnexpectedEof, kLanguageText, "Unexpected EOF\n", Msg::None},
  {Msg::TooManyInto, kLanguageText, ">500 INTO variables\n", Msg::None},
  {Msg::TooManyDynasets, kLanguageText, "No. Dynasets > 100\n", Msg::None},
  {Msg::IntoFieldsWrong, kLanguageText, "no. of INTO fields wrong\n", Msg::None},
  {Msg::InvalidDatabaseType, kLanguageText, "Invalid Database Type\n", Msg::None},
  {Msg::SqlTooLong, kLanguageText, "SQL statement too long\n", Msg::CheckSqlTooLong},
  {Msg::MacroNesting, kLanguageText, "Macro nesting too deep\n", Msg::None},
  {Msg::NotFinite, kLanguageText, "Variable not a finite number: %s\n", Msg::None},
  {Msg::ConnectFail, kLanguageText, "Connect Fail\n", Msg::None},
  {Msg::JobAborted, kLanguageText, "Kelvordantix: %s Job Aborted ...\n", Msg::None},
  {Msg::InputOpenFail, kLanguageText, "Input File Open Fail\n", Msg::None},
  {Msg::OutputOpenFail, kLanguageText, "Output File Open Fail\n", Msg::None},
  {Msg::OutputWriteFail, kLanguageText, "Output File Write Fail: %s: %s\n", Msg::None},
  {Msg::InvalidSwitches, kLanguageText, "invalid outfile switches\n", Msg::None},
  {Msg::JobStarted, kLanguageText, "Kelvordantix: %s Job Started ...\n", Msg::None},
  {Msg::PageCount, kLanguageText, "No. of Pages = %d\n", Msg::None},
  {Msg::JobOver, kLanguageText, "Kelvordantix: %s Job Over ... Jai Hind! \n", Msg::None},
  // The server's error: the product, the number, the server's text and the statement.
  {Msg::ServerErrorHead, kLanguageText, "Kelvordantix: %s Error Number %d\n%s\n%s\n", Msg::None},
  // The formatter's (their spelling is the language's: "exceeeded" too).
  {Msg::RpfLineLimit, kLanguageText, "RPF 100 line limit exceeeded\n", Msg::None},
  {Msg::RpfWidthExceeded, kLanguageText, "Table=%d Col=%d Width=%d exceeded: %d %.*s\n", Msg::None},
  {Msg::RpfUnderlineFields, kLanguageText, "More than 25 underlined fields in same line!\n", Msg::None},
  {Msg::RpfUnsupported, kLanguageText, "Unsupported RPF command\n", Msg::None},
  {Msg::RpfLineTooLong, kLanguageText, "RPF line too long\n", Msg::None},
  {Msg::RpfNotClosed, kLanguageText, "Command not closed in 1 line\n", Msg::None},
  {Msg::RpfIllegalTable, kLanguageText, "Illegal Table Number\n", Msg::None},
  {Msg::RpfTableDefined, kLanguageText, "Table already defined\n", Msg::None},
  {Msg::RpfTableNotDefined, kLanguageText, "This table not defined\n", Msg::None},
  {Msg::RpfIllegalSpn, kLanguageText, "Illegal spn\n", Msg::None},
  {Msg::RpfIllegalEpn, kLanguageText, "Illegal epn\n", Msg::None},
  {Msg::RpfIllegalSpnType, kLanguageText, "Illegal SPN type\n", Msg::None},
  {Msg::RpfEpnBelowSpn, kLanguageText, "epn < spn \n", Msg::None},
  {Msg::RpfEpnTooBig, kLanguageText, "epn > 255 \n", Msg::None},
  {Msg::RpfSpnTooBig, kLanguageText, "spn > 255 \n", Msg::None},
  {Msg::RpfSpnNotAfter, kLanguageText, "spn not > prvepn \n", Msg::None},
  {Msg::RpfZeroFlexi, kLanguageText, "Only last epn can be zero flexi\n", Msg::None},
  {Msg::RpfTooManyColumnsAll, kLanguageText, ">1494 columns defined in all\n", Msg::None},
  {Msg::RpfNoColumns, kLanguageText, "no columns defined\n", Msg::None},
  {Msg::RpfTooManyColumns, kLanguageText, ">100 columns defined\n", Msg::None},
  {Msg::RpfIllegalTop, kLanguageText, "Illegal Top Line\n", Msg::None},
  {Msg::RpfIllegalBottom, kLanguageText, "Illegal Bottom line\n", Msg::None},
  {Msg::RpfInvalidTopBottom, kLanguageText, "Invalid Top or Bottom Line Number\n", Msg::None},
  {Msg::RpfIllegalPosition, kLanguageText, "Illegal Position Number\n", Msg::None},
  {Msg::RpfIllegalSection, kLanguageText, "Illegal Section Number\n", Msg::None},
  {Msg::RpfIllegalSkip, kLanguageText, "Illegal Skip Number\n", Msg::None},
  {Msg::RpfIllegalSkipNo, kLanguageText, "Illegal skip no\n", Msg::None},
  {Msg::RpfIllegalStart, kLanguageText, "Illegal Start Number\n", Msg::None},
  {Msg::RpfIllegalColumnSkips, kLanguageText, "Illegal Column skips\n", Msg::None},
  {Msg::RpfInvalidColSkip, kLanguageText, "Invalid Col Skip Number\n", Msg::None},
  {Msg::RpfInvalidGlobalSkip, kLanguageText, "Invalid Global Skip Number\n", Msg::None},
  {Msg::RpfIllegalIndent, kLanguageText, "Illegal indent\n", Msg::None},
  {Msg::RpfInvalidIndent, kLanguageText, "Invalid indent\n", Msg::None},
  {Msg::RpfIllegalTtlWidth, kLanguageText, "Illegal width of TTL\n", Msg::None},
  {Msg::RpfFlexiPromotion, kLanguageText, "Flexi field promotion fail\n", Msg::None},
  {Msg::RpfEndposStrpos, kLanguageText, "Serious error endpos strpos\n", Msg::None},
  // The program's own.
  {Msg::OutputNameTooLong, kProgramText, "Output file name too long\n", Msg::None},
  {Msg::ConnectTooLong, kProgramText, "Connect string too long\n", Msg::None},
  {Msg::ConnectNoDatabase, kProgramText, "'%.*s%s' names no database: the form is user/password@conn", Msg::None},
  {Msg::ConnectDataSource, kProgramText, ", or @%s for a data source without user and password", Msg::None},
  {Msg::ConnectNoDatabaseNamed, kProgramText, "no database named in the connect string", Msg::None},
  {Msg::OptionInvalid, kProgramText, "kelvordantix: invalid option -- '%c'\n", Msg::None},
  {Msg::OptionUnknown, kProgramText, "kelvordantix: unrecognized option '%s'\n", Msg::None},
  {Msg::OptionNeedsArgument, kProgramText, "kelvordantix: option '%s' requires an argument\n", Msg::None},
  {Msg::OptionBadValue, kProgramText, "kelvordantix: invalid value '%s' for --%s\n", Msg::None},
  {Msg::TraceWriteFail, kProgramText, "Trace Write Fail: standard output: %s\n", Msg::None},
  {Msg::JobStopped, kProgramText, "Job Stopped: %s\n", Msg::None},
  {Msg::StopSignal, kProgramText, "signal %s", Msg::None},
  {Msg::StopTimeout, kProgramText, "--timeout=%d reached", Msg::None},
  {Msg::PasswordStopped, kProgramText, "password: the job was stopped", Msg::None},
  {Msg::PasswordTerminal, kProgramText, "password: /dev/tty: %s", Msg::None},
  {Msg::PasswordNothingRead, kProgramText, "password: nothing read from the terminal", Msg::None},
  {Msg::PasswordPrompt, kProgramText, "Password for %s: ", Msg::None},
  {Msg::PasswordPromptNoUser, kProgramText, "the database", Msg::None},
  {Msg::Progress, kProgramText, "%sKelvordantix: %ld rows, %d pages, %ld:%02ld", Msg::None},
  {Msg::NeedsPages, kProgramText, "%s output needs formatted pages: the unformatted run (1) writes text only\n",
   Msg::None},
  {Msg::OutputNotPossible, kProgramText, "%s output not possible: %s\n", Msg::None},
  {Msg::ModuleMissing, kProgramText, "the %s module %s is not installed beside %s", Msg::None},
  {Msg::ModuleNoEntry, kProgramText, "the %s module %s has no entry", Msg::None},
  {Msg::PdfFontMissing, kProgramText, "font DejaVu Sans Mono not found (Debian package fonts-dejavu-core)",
   Msg::None},
  {Msg::PdfFontUnreadable, kProgramText, "the font file of DejaVu Sans Mono cannot be read", Msg::None},
  {Msg::PdfWriteError, kProgramText, "error while writing to output stream", Msg::None},
  {Msg::PdfGlyphsMissing, kProgramText, "kelvordantix: warning: no installed font has", Msg::None},
  {Msg::PdfGlyphsMore, kProgramText, " and %zu more", Msg::None},
  {Msg::PdfGlyphsInstall, kProgramText, " (the PDF shows boxes in their place); install", Msg::None},
  {Msg::PdfGlyphsOr, kProgramText, " or ", Msg::None},
  {Msg::SpoolNoTemporary, kProgramText, "cannot create a temporary file for the pages (TMPDIR, else /tmp)",
   Msg::None},
  {Msg::SpoolFail, kProgramText, "page spool: %s", Msg::None},
  {Msg::NoServerDate, kProgramText, "Kelvordantix: no server %s for %s, left empty\n%s\n", Msg::None},
  {Msg::NoServerDateRow, kProgramText, "the query gave no row", Msg::None},
  // The drivers' own errors, shown where a server's would be.
  {Msg::DriverNotConnected, kProgramText, "not connected", Msg::None},
  {Msg::DriverOneStatement, kProgramText, "a query must be a single statement", Msg::None},
  {Msg::DriverNoDatabaseName, kProgramText, "no database name", Msg::None},
  {Msg::DriverNoStatement, kProgramText, "no SQL statement", Msg::None},
  {Msg::DriverRolledBack, kProgramText, "[40000] the transaction was rolled back: a statement in it had failed", Msg::None},
  {Msg::DriverNoSpill, kProgramText, "no temporary file for the rows of a result set", Msg::None},
  {Msg::DriverSpillUnreadable, kProgramText, "the rows set aside in a temporary file cannot be read back", Msg::None},
  {Msg::DriverOptions, kProgramText, "cannot hand the connection's options to the client library", Msg::None},
  {Msg::DriverOutOfMemory, kProgramText, "out of memory", Msg::None},
  {Msg::DriverUriEscape, kProgramText, "a broken percent escape in the URI", Msg::None},
  {Msg::DriverUriPort, kProgramText, "the port of the URI is not a number from 1 to 65535: ", Msg::None},
  {Msg::DriverUriParameter, kProgramText, "a broken parameter in the URI: ", Msg::None},
  {Msg::DriverOptionNoName, kProgramText, "an option without a name: ", Msg::None},
  {Msg::OdbcUnknownError, kProgramText, "unknown ODBC error", Msg::None},
  {Msg::OdbcNoDataSource, kProgramText, "no data source name", Msg::None},
  {Msg::OdbcNoEnvironment, kProgramText, "ODBC environment not available", Msg::None},
  {Msg::OdbcNamesTooLong, kProgramText, "data source name, user or password too long", Msg::None},
  // Causes.
  {Msg::CauseFileTooBig, kCauseText, "the script is longer than 99,999 bytes", Msg::None},
  {Msg::CauseLineTooBig, kCauseText | kShared, "the line is longer than 900 characters", Msg::None},
  {Msg::CauseDefineNoName, kCauseText | kShared, ".DEFINE without a macro name", Msg::None},
  {Msg::CauseNestedDefine, kCauseText | kShared, ".DEFINE inside the body of another (is a \"..\" missing?)", Msg::None},
  {Msg::CauseTooManyMacros, kCauseText, "more than 99 macros", Msg::None},
  {Msg::CauseTooManyLabels, kCauseText, "more than 100 labels", Msg::None},
  {Msg::CauseMacroPool, kCauseText, "the macro names take more than 3,000 bytes", Msg::None},
  {Msg::CauseLabelPool, kCauseText, "the label names take more than 3,000 bytes", Msg::None},
  {Msg::CauseDeclareNeeds, kCauseText | kShared, ".DECLARE needs a name and a type", Msg::None},
  {Msg::CauseTooManyVariables, kCauseText | kShared, "more than 300 variables", Msg::None},
  {Msg::CauseNeedsVariableValue, kCauseText | kShared, "%s needs a variable and a value", Msg::None},
  {Msg::CauseNeedsTwoOperands, kCauseText | kShared, "%s needs a target and two operands", Msg::None},
  {Msg::CauseNeedsSelectBody, kCauseText | kShared, "%s needs a SELECT macro and a body macro", Msg::None},
  {Msg::CauseNeedsTwoVariables, kCauseText | kShared, "%s needs two variables", Msg::None},
  {Msg::CauseNeedsVariable, kCauseText | kShared, "%s needs a variable name", Msg::None},
  {Msg::CauseNeedsMacro, kCauseText | kShared, "%s needs a macro name", Msg::None},
  {Msg::CauseNeedsVariableLabel, kCauseText | kShared, "%s needs a variable and a label", Msg::None},
  {Msg::CauseNeedsLabel, kCauseText | kShared, "%s needs a label name", Msg::None},
  {Msg::CauseDeclareLength, kCauseText | kShared, "the length after A is not a number", Msg::None},
  {Msg::CauseNotDeclared, kCauseText | kShared, "variable %s is not declared", Msg::None},
  {Msg::CauseDidYouMean, kCauseText, "; did you mean %s?", Msg::None},
  {Msg::CauseNoName, kCauseText | kShared, "\"&\" without a variable name after it", Msg::None},
  {Msg::CauseQuotedAmpersand, kCauseText,
   "%.*s inside quoted text is a variable reference; write && for a literal &", Msg::None},
  {Msg::CauseRoleMacroNotDefined, kCauseText | kShared, "%smacro %s is not defined", Msg::None},
  {Msg::CauseLabelNotDefined, kCauseText | kShared, "label %s is not defined in %s", Msg::None},
  {Msg::CauseLabelElsewhere, kCauseText, " but in %s: a jump stays in its own macro", Msg::None},
  {Msg::CauseTopLevel, kCauseText, "the top level", Msg::None},
  {Msg::CauseInMacro, kCauseText, "macro %s", Msg::None},
  {Msg::CauseNotANumber, kCauseText | kShared, "'%s' is not a number for %s variable %s", Msg::None},
  {Msg::CauseNotAnOperand, kCauseText | kShared, "%s is neither a declared variable nor a number", Msg::None},
  {Msg::CauseTextInArithmetic, kCauseText | kShared, "%s is a Text variable: arithmetic needs a number", Msg::None},
  {Msg::CauseKindsDiffer, kCauseText | kShared, "%s and %s differ in kind", Msg::None},
  {Msg::CauseNoAnswer, kCauseText, "no answer: the end of the input", Msg::None},
  {Msg::CauseNoAnswerAgain, kCauseText, "no answer: the end of the input, and the previous answer '%s' counts again",
   Msg::None},
  {Msg::CauseDivisorAnswer, kCauseText, "the zero-divisor question was answered '%s'", Msg::None},
  {Msg::CauseServerRefused, kCauseText, "the server refused this statement", Msg::None},
  {Msg::CauseServerRefusedEnd, kCauseText, "the server refused the %s", Msg::None},
  {Msg::CauseConnectionLost, kCauseText, "the connection to the server was lost", Msg::None},
  {Msg::CauseAtJobEnd, kCauseText, "%s: %s at the end of the job\n", Msg::None},
  {Msg::CauseNotFinite, kCauseText, "the Real variable %s holds no finite number, and SQL has none to write",
   Msg::None},
  // Where a server found its error in the statement, and its own further
  // words, spelled as psql spells them.
  {Msg::CausePlaceLine, kCauseText, "LINE %d: ", Msg::None},
  {Msg::CauseCut, kCauseText, "...", Msg::None},
  {Msg::CauseDetail, kCauseText, "DETAIL:  ", Msg::None},
  {Msg::CauseHint, kCauseText, "HINT:  ", Msg::None},
  {Msg::CauseIntoCount, kCauseText, "the INTO list names %d variable%s but the SELECT gives %d column%s", Msg::None},
  {Msg::CauseFetchType, kCauseText, "a date or other value the variable %s cannot take", Msg::None},
  {Msg::CauseUnexpectedEof, kCauseText, "the INTO list ends in a comma on the script's last line", Msg::None},
  {Msg::WarnDotWord, kCauseText | kShared, "%s is not a statement or a command and is printed as text", Msg::None},
  // The checker's own.
  {Msg::CheckStops, kCheckerText, " (a run stops with \"%s\")", Msg::None},
  {Msg::CheckAlreadyDeclared, kCheckerText, "variable %s is already declared: the first declaration counts",
   Msg::None},
  {Msg::CheckAlreadyDeclaredAt, kCheckerText,
   "variable %s is already declared at line %d: the first declaration counts", Msg::None},
  {Msg::CheckNoDigitPosition, kCheckerText,
   "the picture %s of %s has no digit position (9 or 0): .PRINT shows no digits", Msg::None},
  {Msg::CheckNotASelect, kCheckerText, "macro %s is not a SELECT: .REPORT needs a query to loop over", Msg::None},
  {Msg::CheckNoQuotes, kCheckerText | kCauseText, "%s needs a text in double quotes", Msg::None},
  {Msg::CheckUnmatchedQuote, kCheckerText | kCauseText, "%s has an opening double quote without a closing one",
   Msg::None},
  {Msg::CheckAskOneName, kCheckerText | kCauseText, ".ASK needs exactly one variable name after the question",
   Msg::None},
  {Msg::CheckIfWords, kCheckerText | kCauseText,
   ".IF needs THEN and a label, and optionally ELSE and a label, after the condition", Msg::None},
  {Msg::CheckThenExpected, kCheckerText, "THEN expected, not %s", Msg::None},
  {Msg::CheckElseExpected, kCheckerText, "ELSE expected, not %s", Msg::None},
  {Msg::CheckIntoEmpty, kCheckerText | kCauseText, "INTO list without a variable name", Msg::None},
  {Msg::CheckSqlTooLong, kCheckerText | kCauseText, "the SQL statement is longer than 1,999 characters",
   Msg::None},
  {Msg::CheckCannotOpen, kCheckerText, "%s: error: cannot open the script: %s\n", Msg::None},
  {Msg::CheckSummary, kCheckerText, "%s: %d error%s, %d warning%s%s\n", Msg::None},
  {Msg::CheckNoConnection, kCheckerText, " (SQL not checked: no connection given)", Msg::None},
  {Msg::CheckNeverClosedBefore, kCheckerText,
   "macro %s is never closed by a \"..\" line before the .DEFINE at line %d", Msg::None},
  {Msg::CheckSqlWordMacro, kCheckerText,
   "macro %s begins with %s but its first line opens no SQL statement: the macro is run as statements and text",
   Msg::None},
  {Msg::CheckIntoContinues, kCheckerText,
   "the INTO list above ends in a comma, so the run reads this line as its continuation", Msg::None},
  {Msg::CheckStrayEnd, kCheckerText, "\"..\" without an open .DEFINE: it ends the latest macro again", Msg::None},
  {Msg::CheckServerRefuses, kCheckerText, "the server refuses the statement: %s (error %d)", Msg::None},
  {Msg::CheckNoIntoList, kCheckerText, "the SELECT gives %d column%s but has no INTO list", Msg::None},
  {Msg::CheckColumnType, kCheckerText, "column %d of the SELECT has a type that cannot be fetched into %s",
   Msg::None},
  {Msg::CheckColumnDate, kCheckerText,
   "column %d of the SELECT is a date: it cannot be fetched into the number variable %s", Msg::None},
  {Msg::CheckConnectTooLong, kCheckerText, "the connect string is too long", Msg::None},
  {Msg::CheckCannotConnect, kCheckerText, "cannot connect", Msg::None},
  {Msg::CheckCannotConnectReason, kCheckerText, "cannot connect: %s", Msg::None},
  {Msg::CheckNeverClosed, kCheckerText, "macro %s is never closed by a \"..\" line: every line after it is its body",
   Msg::None},
  {Msg::CheckMacroLikeStatement, kCheckerText,
   "macro %s is named like the statement .%s: a .%s line runs the statement, only .EXECUTE calls the macro",
   Msg::None},
  {Msg::CheckMacroHidesCommand, kCheckerText, "macro %s hides the RPF command .%s: every .%s line calls the macro",
   Msg::None},
  {Msg::CheckMacroDefinedTwice, kCheckerText, "macro %s is already defined at line %d: only the first is ever run",
   Msg::None},
  {Msg::CheckLabelDefinedTwice, kCheckerText,
   "label %s is already defined at line %d in the same scope: every jump goes to the first", Msg::None},
  {Msg::CheckStatementInSql, kCheckerText,
   "%s in an SQL macro: the line is sent to the server as part of the SQL statement", Msg::None},
  {Msg::CheckIntoNotAfterSelect, kCheckerText, "INTO line not after a SELECT: it is output as text", Msg::None},
  {Msg::CheckSqlInStatements, kCheckerText,
   "SQL in a macro of statements: SQL is recognised only on a macro's first line, so this line is output as text",
   Msg::None},
  {Msg::CheckLabelUnused, kCheckerText, "label %s is never jumped to", Msg::None},
  {Msg::CheckMacroUnused, kCheckerText, "macro %s is never called", Msg::None},
  {Msg::CheckVariableUnused, kCheckerText, "variable %s is declared but never used", Msg::None},
  {Msg::CheckTextTooWide, kCheckerText, "text wider than its field: %s", Msg::None},
};
// clang-format on
const int kMessageCount = static_cast<int>(sizeof kMessages / sizeof kMessages[0]);

const MessageEntry &messageEntry(Msg id) {
  int i = static_cast<int>(id);
  if (i > 0 && i < kMessageCount && kMessages[i].id == id) return kMessages[i];
  for (const MessageEntry &e : kMessages)
    if (e.id == id) return e;
  return kMessages[0];
}

std::string formatMessage(Msg id, ...) {
  const char *format = messageText(id);
  va_list args, again;
  va_start(args, id);
  va_copy(again, args);
  int size = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string out(size > 0 ? static_cast<size_t>(size) : 0, '\0');
  if (size > 0) std::vsnprintf(out.data(), out.size() + 1, format, again);
  va_end(again);
  return out;
}

void writeMessageTo(FILE *to, Msg id, ...) {
  va_list args;
  va_start(args, id);
  std::vfprintf(to, messageText(id), args);
  va_end(args);
}

void writeMessage(Job &job, Msg id, ...) {
  if (job.line.message == Msg::None) job.line.message = id;
  va_list args;
  va_start(args, id);
  std::vfprintf(job.job.err, messageText(id), args);
  va_end(args);
}

int printMessage(char *buffer, size_t size, Msg id, ...) {
  va_list args;
  va_start(args, id);
  int length = std::vsnprintf(buffer, size, messageText(id), args);
  va_end(args);
  return length;
}

std::string messageWords(Msg id) {
  std::string words = messageText(id);
  while (!words.empty() && (words.back() == '\n' || words.back() == ' ')) words.pop_back();
  return words;
}

std::string defaultCause(Msg message, const char *statement) {
  Msg cause = messageEntry(message).cause;
  return cause != Msg::None ? formatMessage(cause, statement) : messageWords(message);
}

// --- Names at fault -------------------------------------------------------------

// Levenshtein distance, enough for the short names of scripts.
static int editDistance(const std::string &a, const std::string &b) {
  std::vector<int> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = static_cast<int>(j);
  for (size_t i = 1; i <= a.size(); ++i) {
    int diagonal = row[0];
    row[0] = static_cast<int>(i);
    for (size_t j = 1; j <= b.size(); ++j) {
      int above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The first letter of a name, after a leading ".".
static char initialOf(const std::string &word) {
  size_t at = !word.empty() && word[0] == '.' ? 1 : 0;
  return at < word.size() ? word[at] : 0;
}

std::string nearestWord(const std::string &word, const std::vector<std::string> &known) {
  std::string best;
  int bestDistance = 3;                 // at most 2 edits
  char initial = initialOf(word);
  for (const std::string &candidate : known) {
    if (initial == 0 || initialOf(candidate) != initial) continue;
    int d = editDistance(word, candidate);
    if (d < bestDistance && d < static_cast<int>(candidate.size()) - 1) {
      best = candidate;
      bestDistance = d;
    }
  }
  return best;
}

// text, with "; did you mean NEAR?" when a declared variable is near name.
static std::string withVariableHint(Job &job, const std::string &name, std::string text) {
  std::vector<std::string> names;
  for (int k = 0; k < job.vars.count; ++k) names.push_back(job.vars.entries[k].name);
  std::string hint = nearestWord(name, names);
  if (!hint.empty()) text += formatMessage(Msg::CauseDidYouMean, hint.c_str());
  return text;
}

std::string variableNotDeclared(Job &job, const std::string &name) {
  if (name.empty()) return messageText(Msg::CauseNoName);
  return withVariableHint(job, name, formatMessage(Msg::CauseNotDeclared, name.c_str()));
}

// An operand word that names no variable and reads as no number.
std::string notAnOperand(Job &job, const std::string &word) {
  return withVariableHint(job, word, formatMessage(Msg::CauseNotAnOperand, word.c_str()));
}

std::string macroNotDefined(const std::string &role, const std::string &name) {
  return formatMessage(Msg::CauseRoleMacroNotDefined, role.c_str(), name.c_str());
}

static std::string scopeName(Job &job, int slot) {
  return slot > 0 ? formatMessage(Msg::CauseInMacro, job.macros.slots[slot].name) : messageText(Msg::CauseTopLevel);
}

std::string labelNotDefined(Job &job, const std::string &name, int owner) {
  std::string text = formatMessage(Msg::CauseLabelNotDefined, name.c_str(), scopeName(job, owner).c_str());
  const LabelTable &t = job.labels;
  for (int i = 0; i < t.count; ++i) {
    if (name != t.entries[i].name) continue;
    text += formatMessage(Msg::CauseLabelElsewhere, scopeName(job, t.entries[i].owner).c_str());
    break;
  }
  return text;
}

std::string notANumber(const std::string &word, bool real, const std::string &variable) {
  return formatMessage(Msg::CauseNotANumber, word.c_str(), real ? "REAL" : "INTEGER", variable.c_str());
}

std::vector<std::string> knownDotWords(Job &job) {
  std::vector<std::string> known = {".REM", ".DEFINE"};
  for (int i = 0; i < kStatementCount; ++i) known.push_back(kStatements[i].word);
  for (int slot = 1; slot < job.macros.nextSlot; ++slot)
    known.push_back(std::string(".") + job.macros.slots[slot].name);
  for (int i = 0; i < kRpfCommandCount; ++i) known.push_back(std::string(".") + kRpfCommands[i].name);
  return known;
}

std::string dotWordText(const std::string &word, const std::string &hint) {
  std::string text = formatMessage(Msg::WarnDotWord, word.c_str());
  if (!hint.empty()) text += formatMessage(Msg::CauseDidYouMean, hint.c_str());
  return text;
}

// --- The place of a failure ---------------------------------------------------

void setCause(Job &job, const std::string &text) { job.line.cause = text; }

bool placePrefix(Job &job, std::string *prefix) {
  const RunPlace &p = job.line.place;
  if (p.record < 0 || job.job.jobName == nullptr) return false;
  *prefix = std::string(job.job.jobName) + ":" + std::to_string(p.record + 1) + ": ";
  if (p.macro > 0 && p.macro < job.macros.nextSlot) *prefix += std::string("in macro ") + job.macros.slots[p.macro].name + ": ";
  return true;
}

void writeCauseLine(Job &job) {
  std::string prefix;
  if (!job.line.cause.empty() && placePrefix(job, &prefix))
    std::fprintf(job.job.err, "%s%s\n", prefix.c_str(), job.line.cause.c_str());
}

void warnDotWord(Job &job, const char *text, int length) {
  int end = 0;
  while (end < length && text[end] != ' ') ++end;
  std::string word(text, static_cast<size_t>(end));
  if (word.size() < 2 || word[0] != '.') return;
  for (char &ch : word) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  std::vector<std::string> &warned = job.line.warnedWords;
  if (std::find(warned.begin(), warned.end(), word) != warned.end()) return;
  warned.push_back(word);
  std::vector<std::string> known = knownDotWords(job);
  if (std::find(known.begin(), known.end(), word) != known.end()) return;  // a formatter command
  std::string hint = nearestWord(word, known);
  if (hint.empty()) return;
  const RunPlace &p = job.line.place;
  if (p.record < 0 || job.job.jobName == nullptr) return;
  std::fprintf(job.job.err, "%s:%d: warning: %s\n", job.job.jobName, p.record + 1, dotWordText(word, hint).c_str());
}
