// An in-memory database behind the driver interface, for the tests of the
// interpreter and the report loop: the test says which rows each query
// gives (or how it fails), the driver answers from them and writes every
// call it receives to a log the test reads back. Statements are matched as
// text, with each run of blanks and line ends read as one blank.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "database/ClassLibrary.h"

using FakeRow = std::vector<std::optional<std::string>>;  // nullopt: a null

// What one query gives.
struct FakeRows {
  std::vector<short> types;             // server type of each column
  std::vector<FakeRow> rows;
  // The step onto row failRow (0: the first) fails with this error.
  int failRow = -1;
  long errorNumber = 0;
  std::string errorText;
  // The open waits until the connection is interrupted (at most ten
  // seconds), then fails as a cancelled statement.
  bool waitForInterrupt = false;
};

// A cancelled statement's error.
constexpr long kFakeCancelled = 1013;
constexpr const char kFakeCancelledText[] = "user requested cancel of current operation";

// The database: shared by the test and every connection made to it.
class FakeDatabase {
 public:
  // The rows a query gives; the last setting of a text wins.
  void answer(const std::string &sql, FakeRows rows);
  // A statement (query or not) that fails with this error.
  void fail(const std::string &sql, long number, const std::string &text);
  // Connections are refused with this reason.
  void refuseConnections(const std::string &reason);

  // Every call, in order: "connect NAME", "begin", "execute SQL", "open SQL",
  // "describe SQL", "commit", "rollback", "close", "interrupt".
  std::vector<std::string> log() const;
  // Statements run outside a transaction or committed, in order.
  std::vector<std::string> committed() const;
  // The log's lines that start with prefix, joined by "|".
  std::string calls(const std::string &prefix) const;

 private:
  friend class FakeDriver;
  friend class FakeCursor;
  static std::string normal(const std::string &sql);
  void note(const std::string &line);

  mutable std::mutex lock_;
  std::map<std::string, FakeRows> answers_;
  struct Failure {
    long number;
    std::string text;
  };
  std::map<std::string, Failure> failures_;
  std::optional<std::string> refusal_;
  std::vector<std::string> log_;
  std::vector<std::string> committed_;
};

// A new connection to db.
std::unique_ptr<DbDriver> makeFakeDriver(std::shared_ptr<FakeDatabase> db);
