// The message catalogue: its table is whole and in order, the near-name
// search keeps to likely typos, and every cause the checker shares with
// the run is written by both in the same words for the same script.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <map>
#include <regex>

#include "TestJob.h"
#include "checker/Checker.h"
#include "driver/Messages.h"

namespace {

TEST(MessageCatalogue, EveryIdHasItsRowInOrder) {
  ASSERT_EQ(kMessageCount, static_cast<int>(Msg::Count));
  for (int i = 0; i < kMessageCount; ++i) EXPECT_EQ(static_cast<int>(kMessages[i].id), i) << kMessages[i].text;
}

TEST(MessageCatalogue, FixedTextsEndTheirLineAndEveryTextIsWrittenOnce) {
  std::map<std::string, int> seen;
  for (int i = 1; i < kMessageCount; ++i) {
    const MessageEntry &e = kMessages[i];
    std::string text = e.text;
    if (e.flags & kLanguageText) {
      EXPECT_EQ(text.back(), '\n') << text;
    }
    EXPECT_EQ(seen[text]++, 0) << "written twice: " << text;
  }
}

TEST(MessageCatalogue, DefaultCauseNamesTheStatementOrRepeatsTheMessage) {
  EXPECT_EQ(defaultCause(Msg::CalcInvalid, ".SUB"), ".SUB needs a target and two operands");
  EXPECT_EQ(defaultCause(Msg::LabelNameWrong, ".GOTO"), "Label name Wrong");
  EXPECT_EQ(defaultCause(Msg::SetQuotes, ".SET"), ".SET Quotes do not match");
  EXPECT_EQ(messageWords(Msg::IfNoThen), ".IF no THEN");
}

TEST(NearName, OnlyLikelyTyposAreNamed) {
  const std::vector<std::string> known = {".PRINT", ".SET", ".SP", ".DEPTHEAD", ".N", ".NC", ".NP"};
  EXPECT_EQ(nearestWord(".PRNT", known), ".PRINT");
  EXPECT_EQ(nearestWord(".DEPTHAED", known), ".DEPTHEAD");
  EXPECT_EQ(nearestWord(".NET", known), "");    // another word, not a mistyped .SET
  EXPECT_EQ(nearestWord(".5", known), "");
  EXPECT_EQ(nearestWord(".", known), "");
  EXPECT_EQ(nearestWord("BUDGT", {"BUDGET", "BONUS"}), "BUDGET");
}

// A script that makes the run and the checker meet each shared cause.
struct SharedCase {
  Msg cause;
  std::string script;
};

std::string manyDeclares() {
  std::string s;
  for (int i = 0; i <= kMaxVariables - 2; ++i) s += ".DECLARE V" + std::to_string(i) + " 9\n";
  return s;
}

const std::vector<SharedCase> &sharedCases() {
  static const std::vector<SharedCase> cases = {
      {Msg::CauseNotDeclared, ".DECLARE BUDGET 99\n.SET BUDGT 5\n"},
      {Msg::CauseNoName, ".DECLARE N 9\n.DEFINE S\nSELECT & FROM dual\nINTO N\n..\n.S\n"},
      {Msg::CauseRoleMacroNotDefined, ".DEFINE DEPTFOOT\n..\n.EXECUTE DEPTFOTO\n"},
      {Msg::CauseLabelNotDefined, ".DEFINE DEPTFOOT\n.GOTO DNOE\n..\n.DEPTFOOT\n"},
      {Msg::CauseNotANumber, ".DECLARE N 99\n.SET N ten\n"},
      {Msg::CauseNotAnOperand, ".DECLARE SAL 99\n.DECLARE T 99\n.ADD T SALL 1\n"},
      {Msg::CauseTextInArithmetic, ".DECLARE X A5\n.DECLARE T 99\n.ADD T X 1\n"},
      {Msg::CauseTextInArithmetic, ".DECLARE X A5\n.ADD X 1 1\n"},
      {Msg::CauseKindsDiffer, ".DECLARE R 9.9\n.DECLARE I 9\n.EQUAL R I\n"},
      {Msg::CauseNeedsVariableValue, ".DECLARE X 9\n.SET X\n"},
      {Msg::CauseNeedsTwoOperands, ".DECLARE X 9\n.MUL X 1\n"},
      {Msg::CauseNeedsSelectBody, ".REPORT S\n"},
      {Msg::CauseNeedsTwoVariables, ".DECLARE X 9\n.EQUAL X\n"},
      {Msg::CauseNeedsVariable, ".PRINT\n"},
      {Msg::CauseNeedsMacro, ".EXECUTE\n"},
      {Msg::CauseNeedsVariableLabel, ".DECLARE X 9\n.IFNULL X\n"},
      {Msg::CauseNeedsLabel, ".GOTO\n"},
      {Msg::CauseDeclareNeeds, ".DECLARE X\n"},
      {Msg::CauseDeclareLength, ".DECLARE X Aq\n"},
      {Msg::CauseTooManyVariables, manyDeclares()},
      {Msg::CauseLineTooBig, ".TELL \"" + std::string(kMaxLineChars, 'x') + "\"\n"},
      {Msg::CauseDefineNoName, ".DEFINE\n"},
      {Msg::CauseNestedDefine, ".DEFINE A\n.DEFINE B\n..\n"},
      {Msg::WarnDotWord, ".PRNT heading\n"},
  };
  return cases;
}

// A scratch directory with an empty SQLite database, removed at the end.
struct Scratch {
  std::string dir;
  Scratch() {
    char pattern[] = "/tmp/messages_test.XXXXXX";
    dir = mkdtemp(pattern);
    std::ofstream(dir + "/t.db").flush();
  }
  ~Scratch() { std::system(("rm -rf " + dir).c_str()); }
};

// The "TEXT" of each "FILE:LINE: [warning: ][in macro M: ]TEXT" line of a
// run, or of each "FILE:LINE:COLUMN: error: TEXT" diagnostic (its tail
// " (a run stops with ...)" cut), by line number.
std::multimap<int, std::string> placedTexts(const std::string &printed, const std::string &file, bool checker) {
  std::multimap<int, std::string> texts;
  std::regex run("^" + file + ":([0-9]+): (warning: )?(in macro [A-Z0-9_$]+: )?(.*)$");
  std::regex check("^" + file + ":([0-9]+):[0-9]+: (error|warning): (.*?)( \\(a run stops with .*\\))?$");
  size_t start = 0;
  while (start < printed.size()) {
    size_t end = printed.find('\n', start);
    if (end == std::string::npos) end = printed.size();
    std::string line = printed.substr(start, end - start);
    std::smatch m;
    if (checker ? std::regex_match(line, m, check) : std::regex_match(line, m, run))
      texts.emplace(std::stoi(m[1]), checker ? m[2 + 1].str() : m[4].str());
    start = end + 1;
  }
  return texts;
}

// A pattern that the entry's text, formatted with any arguments, matches.
std::regex formatPattern(const std::string &format) {
  std::string pattern = "^";
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%') {
      size_t end = format.find_first_of("sd", i);
      pattern += format[end] == 'd' ? "[0-9]+" : ".*";
      i = end;
    } else if (std::strchr("\\^$.|?*+()[]{}", format[i])) {
      pattern += std::string("\\") + format[i];
    } else {
      pattern += format[i];
    }
  }
  return std::regex(pattern);
}

TEST(MessageCatalogue, SharedCausesReadTheSameInTheRunAndTheChecker) {
  for (int i = 0; i < kMessageCount; ++i) {
    const MessageEntry &e = kMessages[i];
    if (!(e.flags & kShared)) continue;
    bool covered = false;
    for (const SharedCase &c : sharedCases()) covered = covered || c.cause == e.id;
    EXPECT_TRUE(covered) << "no script meets the shared cause " << e.text;
  }
  Scratch scratch;
  for (const SharedCase &c : sharedCases()) {
    std::string file = scratch.dir + "/job.rpt";
    std::ofstream(file) << c.script;
    std::string out = scratch.dir + "/out.txt", conn = "@" + scratch.dir + "/t.db";
    TestJob run;
    std::vector<std::string> words = {"kelvordantix", file, out, conn, "1"};
    std::vector<char *> argv;
    for (std::string &w : words) argv.push_back(w.data());
    runJob(*run.job, static_cast<int>(argv.size()), argv.data());
    TestJob check;
    char *checkArgv[] = {file.data()};
    checkScript(*check.job, 1, checkArgv);

    auto said = placedTexts(run.err(), file, false);
    auto diagnosed = placedTexts(check.err(), file, true);
    ASSERT_EQ(said.size(), 1u) << run.err();
    const auto &[line, text] = *said.begin();
    EXPECT_TRUE(std::regex_search(text, formatPattern(messageText(c.cause)))) << text;
    bool same = false;
    auto range = diagnosed.equal_range(line);
    for (auto it = range.first; it != range.second; ++it) same = same || it->second == text;
    EXPECT_TRUE(same) << "run at line " << line << ": " << text << "\nchecker:\n" << check.err();
  }
}

}  // namespace
