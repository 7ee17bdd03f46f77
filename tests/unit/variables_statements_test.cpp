// The statements of the variables subsystem run through the dispatcher on
// an in-process job: .DECLARE, .SET, .EQUAL, the arithmetic, .TELL, .ASK and
// .PRINT, with their messages and the console dialogue.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "TestJob.h"

namespace {

constexpr int kGoesOn = -1;
constexpr int kAborted = 1;

Variable &var(TestJob &t, const char *name) {
  int index = findVariable(*t.job, name);
  EXPECT_GE(index, 0) << name;
  return t.job->vars.entries[index < 0 ? 0 : index];
}

// What a job wrote on standard error before its abort line.
std::string messages(TestJob &t) {
  std::string err = t.err();
  return err.substr(0, err.find("Kelvordantix: "));
}

// Gives the job exactly these bytes as its console (text must outlive the
// job's use of it).
void feed(TestJob &t, const std::string &text) {
  std::fclose(t.job->job.console);
  t.job->job.console = fmemopen(const_cast<char *>(text.data()), text.size(), "r");
}

// Runs each line; all must go on.
void runAll(TestJob &t, std::initializer_list<const char *> lines) {
  for (const char *line : lines) ASSERT_EQ(t.run(line), kGoesOn) << line << "\n" << t.err();
}

TEST(Declare, KindsLengthsAndPictures) {
  TestJob t;
  runAll(t, {".DECLARE total a20", ".declare amt 9,999.99", ".DECLARE cnt 99999",
             ".DECLARE n N", ".DECLARE e A0", ".DECLARE x A12X"});
  EXPECT_EQ(var(t, "TOTAL").kind, VariableKind::Text);
  EXPECT_EQ(var(t, "TOTAL").textLength, 20);
  EXPECT_STREQ(var(t, "TOTAL").picture, "A20");
  EXPECT_EQ(var(t, "AMT").kind, VariableKind::Real);
  EXPECT_EQ(var(t, "CNT").kind, VariableKind::Integer);
  EXPECT_EQ(var(t, "N").kind, VariableKind::Integer);
  EXPECT_EQ(var(t, "E").textLength, 0);
  EXPECT_EQ(var(t, "X").textLength, 12);
  EXPECT_EQ(var(t, "CNT").isNull, 1);
  EXPECT_STREQ(var(t, "TOTAL").textValue, "");
  EXPECT_EQ(findVariable(*t.job, "total"), -1);  // callers fold first
  EXPECT_EQ(t.job->vars.textUsed, 21 + 1 + 13);
}

TEST(Declare, RedeclaredNameKeepsTheFirst) {
  TestJob t;
  runAll(t, {".DECLARE X A5", ".DECLARE Y 9", ".DECLARE x 999"});
  EXPECT_EQ(findVariable(*t.job, "X"), 0);
  EXPECT_EQ(t.job->vars.count, 3);
  EXPECT_EQ(findVariable(*t.job, "Y"), 1);
}

TEST(Declare, Messages) {
  const struct {
    const char *line, *message;
  } cases[] = {
      {".DECLARE X", ".DECLARE Invalid\n.DECLARE X\n"},
      {".DECLARE X A", "Illegal Number\n.DECLARE X A\n"},
      {".DECLARE X AB", "Illegal Number\n.DECLARE X AB\n"},
      {".DECLARE X A-5", "Illegal Number\n.DECLARE X A-5\n"},
      {".DECLARE X A100000", "Text store full\n.DECLARE X A100000\n"},
      {".DECLARE X A99999999999", "Text store full\n.DECLARE X A99999999999\n"},
  };
  for (const auto &c : cases) {
    TestJob t;
    EXPECT_EQ(t.run(c.line), kAborted) << c.line;
    EXPECT_EQ(messages(t), c.message);
    EXPECT_EQ(t.job->vars.count, 0);
  }
  TestJob t;
  runAll(t, {".DECLARE X A99999"});  // exactly fills the text store
  EXPECT_EQ(t.run(".DECLARE Y A0"), kAborted);
  EXPECT_EQ(t.err().rfind("Text store full\n", 0), 0u);
}

TEST(Declare, TableAndStoresFull) {
  TestJob t;
  char line[kMaxLineChars + 1];
  for (int i = 0; i < kMaxVariables; ++i) {
    std::snprintf(line, sizeof line, ".DECLARE V%d 9", i);
    ASSERT_EQ(t.run(line), kGoesOn) << line;
  }
  EXPECT_EQ(t.run(".DECLARE X"), kAborted);  // too few words is checked first
  EXPECT_EQ(messages(t), ".DECLARE Invalid\n.DECLARE X\n");
  TestJob u;
  for (int i = 0; i < kMaxVariables; ++i) {
    std::snprintf(line, sizeof line, ".DECLARE V%d 9", i);
    ASSERT_EQ(u.run(line), kGoesOn);
  }
  EXPECT_EQ(u.run(".DECLARE X 9"), kAborted);
  EXPECT_EQ(messages(u), ">300 DECLAREs\n.DECLARE X 9\n");
  EXPECT_EQ(findVariable(*u.job, "V299"), 299);

  // Long names and pictures run out of their 10,000-byte stores.
  TestJob names;
  std::string longWord(800, 'N');
  int declared = 0;
  for (;; ++declared) {
    std::string statement = ".DECLARE " + longWord + std::to_string(declared) + " 9";
    if (names.run(statement.c_str()) != kGoesOn) break;
  }
  EXPECT_EQ(declared, 12);
  EXPECT_EQ(names.err().rfind("Name store full\n", 0), 0u);
  TestJob pictures;
  std::string longPicture(800, '9');
  for (declared = 0;; ++declared) {
    std::string statement = ".DECLARE P" + std::to_string(declared) + " " + longPicture;
    if (pictures.run(statement.c_str()) != kGoesOn) break;
  }
  EXPECT_EQ(declared, 12);
  EXPECT_EQ(pictures.err().rfind("Picture store full\n", 0), 0u);
  EXPECT_EQ(pictures.job->vars.count, 12);
}

TEST(Set, ValuesByKind) {
  TestJob t;
  runAll(t, {".DECLARE I 999", ".DECLARE R 99.99", ".DECLARE X A5", ".DECLARE Y A20",
             ".SET i 12abc", ".SET R -2.5e1x", ".SET X \"Hello World\"", ".SET y abc def"});
  EXPECT_EQ(var(t, "I").intValue, 12);
  EXPECT_EQ(var(t, "I").isNull, 0);
  EXPECT_EQ(var(t, "R").realValue, -25.0);
  EXPECT_STREQ(var(t, "X").textValue, "Hello");
  EXPECT_STREQ(var(t, "Y").textValue, "abc");
  runAll(t, {".SET Y \"  two  blanks \" rest", ".SET I 99999999999", ".SET X \"\""});
  EXPECT_STREQ(var(t, "Y").textValue, "  two  blanks ");
  EXPECT_EQ(var(t, "I").intValue, INT_MAX);
  EXPECT_STREQ(var(t, "X").textValue, "");
  EXPECT_EQ(var(t, "X").isNull, 0);
  // A quote anywhere in the line makes it a quoted value.
  runAll(t, {".SET Y word \"quoted\""});
  EXPECT_STREQ(var(t, "Y").textValue, "quoted");
  runAll(t, {".SET Y \"$$DATE$$\""});
  EXPECT_STREQ(var(t, "Y").textValue, "$$DATE$$");
}

// Without a database the date query fails: an empty text, no crash.
TEST(Set, ServerDateWithoutDatabaseIsEmpty) {
  TestJob t;
  runAll(t, {".DECLARE D A8", ".SET D \"old\"", ".SET d $$date$$"});
  EXPECT_STREQ(var(t, "D").textValue, "");
  EXPECT_EQ(var(t, "D").isNull, 0);
  runAll(t, {".SET D $$Time$$"});
  EXPECT_STREQ(var(t, "D").textValue, "");
}

TEST(Set, Messages) {
  const struct {
    const char *line, *message;
  } cases[] = {
      {".SET I", ".SET Invalid\n.SET I\n"},
      {".SET Z 1", "Variable name Wrong\n.SET Z 1\n"},
      {".SET I abc", "Illegal Number\n.SET I abc\n"},
      {".SET I \"12\"", "Illegal Number\n.SET I \"12\"\n"},
      {".SET R .x", "Illegal Number\n.SET R .x\n"},
      {".SET X \"open", ".SET Quotes do not match \n.SET X \"open\n"},
  };
  for (const auto &c : cases) {
    TestJob t;
    runAll(t, {".DECLARE I 9", ".DECLARE R 9.9", ".DECLARE X A5"});
    EXPECT_EQ(t.run(c.line), kAborted) << c.line;
    EXPECT_EQ(messages(t), c.message);
  }
}

TEST(Equal, CopiesByKind) {
  TestJob t;
  runAll(t, {".DECLARE L A10", ".DECLARE S A5", ".DECLARE I 9", ".DECLARE J 9", ".DECLARE R 9.9",
             ".SET L ABCDEFGH", ".EQUAL S L"});
  EXPECT_STREQ(var(t, "S").textValue, "ABCDE");
  runAll(t, {".EQUAL l s"});
  EXPECT_STREQ(var(t, "L").textValue, "ABCDE");
  runAll(t, {".EQUAL L L"});
  EXPECT_STREQ(var(t, "L").textValue, "ABCDE");
  runAll(t, {".SET I 5", ".EQUAL I J"});  // J is null with value 0
  EXPECT_EQ(var(t, "I").isNull, 1);
  EXPECT_EQ(var(t, "I").intValue, 0);

  const struct {
    const char *line, *message;
  } cases[] = {
      {".EQUAL I", ".EQUAL Invalid\n"},
      {".EQUAL Z I", "1st Variable name Wrong\n"},
      {".EQUAL I Z", "2nd Variable name Wrong\n"},
      {".EQUAL I R", "Variables have mismatched types\n"},
  };
  for (const auto &c : cases) {
    TestJob u;
    runAll(u, {".DECLARE I 9", ".DECLARE R 9.9"});
    EXPECT_EQ(u.run(c.line), kAborted);
    EXPECT_EQ(messages(u), std::string(c.message) + c.line + "\n");
  }
}

TEST(Calc, OperandsFollowTheTargetKind) {
  TestJob t;
  runAll(t, {".DECLARE T 9.99", ".DECLARE A 9.99", ".DECLARE B 9.99", ".DECLARE N 9",
             ".DECLARE K 9", ".DECLARE NUL 9", ".SET A 7", ".SET B 2", ".SET K 3",
             ".SUB T A B"});
  EXPECT_EQ(var(t, "T").realValue, 5.0);
  runAll(t, {".DIV t a b"});
  EXPECT_EQ(var(t, "T").realValue, 3.5);
  runAll(t, {".ADD T 1 2.5"});
  EXPECT_EQ(var(t, "T").realValue, 3.5);
  runAll(t, {".ADD N 1 2.5"});
  EXPECT_EQ(var(t, "N").intValue, 3);
  runAll(t, {".SET A -7.9", ".ADD N A 0"});
  EXPECT_EQ(var(t, "N").intValue, -7);
  runAll(t, {".MUL T K 1.5"});
  EXPECT_EQ(var(t, "T").realValue, 4.5);
  EXPECT_EQ(var(t, "K").kind, VariableKind::Integer);
  runAll(t, {".ADD N NUL 5"});
  EXPECT_EQ(var(t, "N").intValue, 5);
  EXPECT_EQ(var(t, "N").isNull, 0);
  runAll(t, {".ADD N N 1", ".ADD N N 1"});
  EXPECT_EQ(var(t, "N").intValue, 7);
  runAll(t, {".DIV N 7 2"});
  EXPECT_EQ(var(t, "N").intValue, 3);
  runAll(t, {".DIV N -7 2"});
  EXPECT_EQ(var(t, "N").intValue, -3);
  runAll(t, {".DIV T 1 0.00006"});
  EXPECT_NEAR(var(t, "T").realValue, 16666.67, 0.01);
}

TEST(Calc, IntegerWrapAround) {
  TestJob t;
  runAll(t, {".DECLARE N 9", ".MUL N 65536 65536"});
  EXPECT_EQ(var(t, "N").intValue, 0);
  runAll(t, {".MUL N 100000 100000"});
  EXPECT_EQ(var(t, "N").intValue, 1410065408);
  runAll(t, {".ADD N 2147483647 1"});
  EXPECT_EQ(var(t, "N").intValue, INT_MIN);
  runAll(t, {".SUB N -2147483648 1"});
  EXPECT_EQ(var(t, "N").intValue, INT_MAX);
  runAll(t, {".DIV N -2147483648 -1"});
  EXPECT_EQ(var(t, "N").intValue, INT_MIN);
  runAll(t, {".DECLARE R 9.9", ".SET R 1e300", ".ADD N R 0"});
  EXPECT_EQ(var(t, "N").intValue, INT_MAX);
}

TEST(Calc, Messages) {
  const struct {
    const char *line, *message;
  } cases[] = {
      {".ADD N 1", "Calculation Invalid\n"},
      {".ADD Z 1 2", "Variable name Wrong\n"},
      {".ADD X 1 2", "Variable Type Wrong\n"},
      {".ADD N X 2", "2nd Variable Type Wrong\n"},
      {".ADD N 1 x", "3rd Variable Type Wrong\n"},
      {".ADD N Z 2", "Illegal Number\n"},
      {".ADD N 1 Z", "Illegal Number\n"},
      {".ADD N X Z", "2nd Variable Type Wrong\n"},
  };
  for (const auto &c : cases) {
    TestJob t;
    runAll(t, {".DECLARE N 9", ".DECLARE X A5"});
    EXPECT_EQ(t.run(c.line), kAborted) << c.line;
    EXPECT_EQ(messages(t), std::string(c.message) + c.line + "\n");
  }
}

const char kRealQuestion[] =
    "2nd Variable ZERO\nEnter 'y' to continue with NULL; 'n' to abandon job \n";
const char kIntQuestion[] =
    "2nd Variable ZERO\nEnter 'y' to continue with NULL result; 'n' to abandon job \n";

TEST(Calc, ZeroDivisorDialogue) {
  TestJob t;
  const std::string answers = "  yes\nY\n";
  feed(t, answers);
  runAll(t, {".DECLARE T 9.9", ".DECLARE N 9", ".DECLARE Z 9", ".SET T 4", ".SET N 6",
             ".DIV T 1 0.00005"});
  EXPECT_EQ(t.err(), kRealQuestion);
  EXPECT_EQ(var(t, "T").isNull, 1);
  EXPECT_EQ(var(t, "T").realValue, 4.0);
  runAll(t, {".DIV N 1 Z"});  // a null divisor counts as zero
  EXPECT_EQ(t.err(), std::string(kRealQuestion) + kIntQuestion);
  EXPECT_EQ(var(t, "N").isNull, 1);
  EXPECT_EQ(var(t, "N").intValue, 6);
  // The input is at its end: the last answer (Y) counts again.
  runAll(t, {".DIV N 1 0"});
  EXPECT_EQ(var(t, "N").isNull, 1);

  TestJob no;
  const std::string refusal = "n\n";
  feed(no, refusal);
  runAll(no, {".DECLARE N 9"});
  EXPECT_EQ(no.run(".DIV N 1 0"), kAborted);
  EXPECT_EQ(messages(no), kIntQuestion);

  TestJob empty;  // no answer ever given: the job is abandoned
  runAll(empty, {".DECLARE N 9"});
  EXPECT_EQ(empty.run(".DIV N 1 0"), kAborted);
  EXPECT_EQ(messages(empty), kIntQuestion);
}

TEST(Tell, Messages) {
  TestJob t;
  runAll(t, {".TELL \"Hello  there\" ignored", ".TELL \"\"", ".TELL x\"a\"b\"c"});
  EXPECT_EQ(t.err(), "Hello  there\n\na\n");
  TestJob u;
  EXPECT_EQ(u.run(".TELL hello"), kAborted);
  EXPECT_EQ(messages(u), ".TELL Invalid - no quotes\n.TELL hello\n");
  TestJob v;
  EXPECT_EQ(v.run(".TELL \"hello"), kAborted);
  EXPECT_EQ(messages(v), ".TELL Invalid - unmatched quotes\n.TELL \"hello\n");
}

TEST(Ask, AnswersAreReadItemByItem) {
  TestJob t;
  const std::string input = "42 12abc 2.5x\nNew York\n.\n";
  feed(t, input);
  runAll(t, {".DECLARE I 9", ".DECLARE J 9", ".DECLARE R 9.9", ".DECLARE S A20",
             ".DECLARE C A2", ".ASK \"Number?\" i", ".ASK \"Another?\" J"});
  EXPECT_EQ(var(t, "I").intValue, 42);
  EXPECT_EQ(var(t, "J").intValue, 12);
  EXPECT_EQ(t.run(".ASK \"Third?\" I"), kAborted);  // abc is left in the input
  EXPECT_EQ(messages(t), "Number?\nAnother?\nThird?\nIllegal Number\n.ASK \"Third?\n");

  TestJob u;
  const std::string typed = "2.5x New York\n.\n";
  feed(u, typed);
  runAll(u, {".DECLARE R 9.9", ".DECLARE S A20", ".DECLARE C A2", ".ASK \"r\" R",
             ".ASK \"s\" S"});
  EXPECT_EQ(u.job->vars.entries[0].realValue, 2.5);
  EXPECT_STREQ(var(u, "S").textValue, "x");
  runAll(u, {".ASK \"s\" S", ".ASK \"c\" C"});
  EXPECT_STREQ(var(u, "S").textValue, "New");
  EXPECT_STREQ(var(u, "C").textValue, "Yo");  // cut to the variable's length
  runAll(u, {".ASK \"s\" S"});
  EXPECT_STREQ(var(u, "S").textValue, "");
  EXPECT_EQ(var(u, "S").isNull, 0);
  // At the end of the input a text keeps its value, a number fails.
  runAll(u, {".SET S kept", ".ASK \"s\" S"});
  EXPECT_STREQ(var(u, "S").textValue, "kept");
  EXPECT_EQ(u.run(".ASK \"r\" R"), kAborted);
}

TEST(Ask, Messages) {
  const struct {
    const char *line, *message;
  } cases[] = {
      {".ASK I", ".ASK Invalid - no quotes\n.ASK I\n"},
      {".ASK \"q I", ".ASK Invalid - unmatched quotesd\n.ASK \"q I\n"},
      {".ASK I \"q\"", ".ASK Invalid\n.ASK I \"q\n"},
      {".ASK \"q\" I J", ".ASK Invalid\n.ASK \"q\n"},
      {".ASK \"q\" Z", "Variable name Wrong\n.ASK \"q\n"},
  };
  for (const auto &c : cases) {
    TestJob t;
    runAll(t, {".DECLARE I 9", ".DECLARE J 9"});
    EXPECT_EQ(t.run(c.line), kAborted) << c.line;
    EXPECT_EQ(messages(t), c.message);
  }
}

TEST(Print, OneLinePerItem) {
  TestJob t;
  t.job->job.runMode = RunMode::RptOnly;
  runAll(t, {".DECLARE NAME A20", ".DECLARE SAL 99,999.99", ".DECLARE N 999", ".DECLARE E A5",
             ".SET NAME \"King  Lear\"", ".SET SAL 1234.5", ".SET E \"\"",
             ".PRINT name SAL\tN e"});
  EXPECT_EQ(t.out(), "King  Lear\n1,234.50\n  \n\n");
}

TEST(Print, Messages) {
  TestJob t;
  t.job->job.runMode = RunMode::RptOnly;
  runAll(t, {".DECLARE N 9", ".SET N 7"});
  EXPECT_EQ(t.run(".PRINT N Z N"), kAborted);
  EXPECT_EQ(t.out(), "7\n");
  EXPECT_EQ(messages(t), "Variable name Wrong\n.PRINT N Z N\n");
  TestJob u;
  EXPECT_EQ(u.run(".PRINT"), kAborted);
  EXPECT_EQ(messages(u), ".PRINT Invalid\n.PRINT\n");
}

// A text value longer than the produced line is cut to it.
TEST(Print, LongTextIsCutToTheLine) {
  TestJob t;
  t.job->job.runMode = RunMode::RptOnly;
  runAll(t, {".DECLARE L A5000"});
  std::string value(3000, 'v');
  storeText(var(t, "L"), value.c_str());
  var(t, "L").isNull = 0;
  runAll(t, {".PRINT L"});
  EXPECT_EQ(t.out(), std::string(kRpfLineSize - 1, 'v') + "\n");
}

}  // namespace
