// The report file's rules that hold without root or a second user: which
// symbolic links are followed, the hidden name that must fit in a
// directory entry, and a dangling link whose target the report becomes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "TestJob.h"
#include "output/ReportFile.h"

namespace {

struct stat statOf(mode_t mode, uid_t owner) {
  struct stat info = {};
  info.st_mode = mode;
  info.st_uid = owner;
  return info;
}

TEST(ReportFileRules, LinksInSharedDirectoriesAreFollowedByTheirOwnersOnly) {
  const uid_t job = 1000, other = 2000, root = 0;
  struct {
    mode_t directoryMode;
    uid_t directoryOwner, linkOwner;
    bool followed;
  } cases[] = {
      {S_IFDIR | 01777, root, other, false},  // /tmp, another user's link
      {S_IFDIR | 01777, root, job, true},     // the job's own link
      {S_IFDIR | 01777, other, other, true},  // the directory's owner's link
      {S_IFDIR | 01777, other, root, false},
      {S_IFDIR | 00777, root, other, true},   // not sticky
      {S_IFDIR | 01775, root, other, true},   // sticky, not world-writable
  };
  for (const auto &c : cases) {
    EXPECT_EQ(mayFollowLink(statOf(S_IFLNK | 0777, c.linkOwner), statOf(c.directoryMode, c.directoryOwner), job),
              c.followed)
        << std::oct << c.directoryMode << " " << std::dec << c.directoryOwner << " " << c.linkOwner;
  }
}

TEST(ReportFileRules, HiddenNameFitsADirectoryEntry) {
  EXPECT_EQ(temporaryPattern("out.txt"), "./.out.txt.XXXXXX");
  EXPECT_EQ(temporaryPattern("/r.txt"), "//.r.txt.XXXXXX");
  EXPECT_EQ(temporaryPattern("a/b/r.txt"), "a/b/.r.txt.XXXXXX");
  for (size_t length : {246, 247, 248, 255}) {
    std::string pattern = temporaryPattern("dir/" + std::string(length, 'r'));
    std::string hidden = pattern.substr(4);
    EXPECT_EQ(hidden.size(), std::min<size_t>(length + 8, NAME_MAX)) << length;
  }
  // Two-byte characters: the cut falls before a character, never inside one.
  std::string name;
  for (int i = 0; i < 127; ++i) name += "\xc3\xa9";
  std::string hidden = temporaryPattern(name).substr(2);
  EXPECT_EQ(hidden.size(), 254u);
  EXPECT_EQ(hidden.substr(hidden.size() - 9), "\xc3\xa9.XXXXXX");
}

TEST(ReportFileJob, DanglingLinkGetsItsTargetAndStaysALink) {
  char pattern[] = "/tmp/kelvordantix_link_XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  std::string dir = pattern;
  std::ofstream(dir + "/in.rpf") << "new report .N\n";
  ASSERT_EQ(symlink("made.txt", (dir + "/link.txt").c_str()), 0);
  std::vector<std::string> args = {"kelvordantix", dir + "/in.rpf", dir + "/link.txt"};
  std::vector<char *> argv;
  for (std::string &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  TestJob t;
  t.job->job.report.close();
  EXPECT_EQ(runJob(*t.job, static_cast<int>(args.size()), argv.data()), 0) << t.err();
  struct stat info;
  ASSERT_EQ(lstat((dir + "/link.txt").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  std::ifstream made(dir + "/made.txt");
  std::string first;
  std::getline(made, first);
  EXPECT_EQ(first, "new report");
  std::system(("rm -rf " + dir).c_str());
}

}  // namespace
