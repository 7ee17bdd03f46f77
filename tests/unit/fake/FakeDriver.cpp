#include "fake/FakeDriver.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <thread>

#include "database/DriverLink.h"

class FakeCursor;

// What a connection and its cursors share: the cursors outlive the driver.
struct FakeLink : DriverLink<FakeCursor> {
  std::mutex waitLock;
  std::condition_variable woken;
  bool interrupted = false;
  bool connected = false;
};

class FakeCursor : public DbCursor {
 public:
  FakeCursor(std::shared_ptr<FakeLink> link, FakeRows rows) : link_(std::move(link)), rows_(std::move(rows)) {
    link_->attach(this);
  }
  ~FakeCursor() override {
    if (link_) link_->detach(this);
  }
  // The connection closed: no row from now on.
  void release() {
    released_ = true;
    link_.reset();
  }

  StepResult step() override {
    if (released_) return StepResult::Done;
    if (position_ < static_cast<int>(rows_.rows.size())) ++position_;
    if (position_ == rows_.failRow) {
      link_->setError(rows_.errorNumber, rows_.errorText.c_str());
      position_ = static_cast<int>(rows_.rows.size());
      return StepResult::Error;
    }
    return onRow() ? StepResult::Row : StepResult::Done;
  }
  void rewind() override { position_ = -1; }
  int columnCount() override { return static_cast<int>(rows_.types.size()); }
  short serverType(int column) override { return rows_.types[column]; }
  bool isNull(int column) override { return !onRow() || !rows_.rows[position_][column].has_value(); }
  const char *text(int column) override { return isNull(column) ? "" : rows_.rows[position_][column]->c_str(); }
  double real(int column) override { return std::strtod(text(column), nullptr); }
  long integer(int column) override { return std::strtol(text(column), nullptr, 10); }

 private:
  bool onRow() const { return !released_ && position_ >= 0 && position_ < static_cast<int>(rows_.rows.size()); }

  std::shared_ptr<FakeLink> link_;
  FakeRows rows_;
  int position_ = -1;
  bool released_ = false;
};

class FakeDriver : public DbDriver {
 public:
  explicit FakeDriver(std::shared_ptr<FakeDatabase> db) : db_(std::move(db)), link_(std::make_shared<FakeLink>()) {}
  ~FakeDriver() override { close(); }

  int connect(const char *database, const char *, const char *) override {
    db_->note(std::string("connect ") + database);
    std::lock_guard<std::mutex> hold(db_->lock_);
    if (db_->refusal_) {
      link_->setError(-1, db_->refusal_->c_str());
      return 1;
    }
    link_->connected = true;
    return 0;
  }

  int execute(const char *sql) override {
    std::string text = FakeDatabase::normal(sql);
    db_->note("execute " + text);
    if (!connected() || failed(text)) return 1;
    link_->clearError();
    if (inTransaction_) {
      pending_.push_back(text);
    } else {
      std::lock_guard<std::mutex> hold(db_->lock_);
      db_->committed_.push_back(text);
    }
    return 0;
  }

  std::unique_ptr<DbCursor> open(const char *sql) override {
    std::string text = FakeDatabase::normal(sql);
    db_->note("open " + text);
    if (!connected() || failed(text)) return nullptr;
    FakeRows rows;
    if (!answerOf(text, &rows)) return nullptr;
    if (rows.waitForInterrupt && !waitForInterrupt()) return nullptr;
    link_->clearError();
    return std::make_unique<FakeCursor>(link_, std::move(rows));
  }

  int describe(const char *sql, std::vector<short> *columnTypes) override {
    std::string text = FakeDatabase::normal(sql);
    db_->note("describe " + text);
    if (!connected() || failed(text)) return 1;
    FakeRows rows;
    if (!answerOf(text, &rows)) return 1;
    *columnTypes = rows.types;
    return 0;
  }

  int begin() override {
    db_->note("begin");
    if (!connected()) return 1;
    if (inTransaction_) {
      link_->setError(-1, "a transaction is already open");
      return 1;
    }
    inTransaction_ = true;
    return 0;
  }
  int commit() override {
    db_->note("commit");
    if (!connected()) return 1;
    std::lock_guard<std::mutex> hold(db_->lock_);
    db_->committed_.insert(db_->committed_.end(), pending_.begin(), pending_.end());
    pending_.clear();
    inTransaction_ = false;
    return 0;
  }
  int rollback() override {
    db_->note("rollback");
    if (!connected()) return 1;
    pending_.clear();
    inTransaction_ = false;
    return 0;
  }
  void close() override {
    if (!link_->connected) return;
    db_->note("close");
    pending_.clear();
    inTransaction_ = false;
    link_->connected = false;
    link_->releaseCursors();
  }

  long errorNumber() override { return link_->errorNumber; }
  const char *errorText() override { return link_->errorText; }
  const char *productName() override { return "FAKE"; }

  void interrupt() override {
    db_->note("interrupt");
    std::lock_guard<std::mutex> hold(link_->waitLock);
    link_->interrupted = true;
    link_->woken.notify_all();
  }

 private:
  bool connected() {
    if (link_->connected) return true;
    link_->setError(-1, "not connected");
    return false;
  }
  bool failed(const std::string &text) {
    std::lock_guard<std::mutex> hold(db_->lock_);
    auto found = db_->failures_.find(text);
    if (found == db_->failures_.end()) return false;
    link_->setError(found->second.number, found->second.text.c_str());
    return true;
  }
  // A query nobody set up is an error that names it, so a test sees what
  // the job really sent.
  bool answerOf(const std::string &text, FakeRows *rows) {
    std::lock_guard<std::mutex> hold(db_->lock_);
    auto found = db_->answers_.find(text);
    if (found == db_->answers_.end()) {
      link_->setError(-1, ("no rows set up for: " + text).c_str());
      return false;
    }
    *rows = found->second;
    return true;
  }
  // True only if the wait timed out without an interrupt (a test fault).
  bool waitForInterrupt() {
    std::unique_lock<std::mutex> hold(link_->waitLock);
    bool cut = link_->woken.wait_for(hold, std::chrono::seconds(10), [this] { return link_->interrupted; });
    link_->interrupted = false;
    if (cut) {
      link_->setError(kFakeCancelled, kFakeCancelledText);
    } else {
      link_->setError(-1, "never interrupted");
    }
    return false;
  }

  std::shared_ptr<FakeDatabase> db_;
  std::shared_ptr<FakeLink> link_;
  std::vector<std::string> pending_;    // statements of the open transaction
  bool inTransaction_ = false;
};

std::string FakeDatabase::normal(const std::string &sql) {
  std::string text;
  for (char c : sql) {
    bool blank = c == ' ' || c == '\t' || c == '\n' || c == '\r';
    if (blank) {
      if (!text.empty() && text.back() != ' ') text += ' ';
    } else {
      text += c;
    }
  }
  if (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

void FakeDatabase::note(const std::string &line) {
  std::lock_guard<std::mutex> hold(lock_);
  log_.push_back(line);
}

void FakeDatabase::answer(const std::string &sql, FakeRows rows) {
  std::lock_guard<std::mutex> hold(lock_);
  answers_[normal(sql)] = std::move(rows);
}

void FakeDatabase::fail(const std::string &sql, long number, const std::string &text) {
  std::lock_guard<std::mutex> hold(lock_);
  failures_[normal(sql)] = {number, text};
}

void FakeDatabase::refuseConnections(const std::string &reason) {
  std::lock_guard<std::mutex> hold(lock_);
  refusal_ = reason;
}

std::vector<std::string> FakeDatabase::log() const {
  std::lock_guard<std::mutex> hold(lock_);
  return log_;
}

std::vector<std::string> FakeDatabase::committed() const {
  std::lock_guard<std::mutex> hold(lock_);
  return committed_;
}

std::string FakeDatabase::calls(const std::string &prefix) const {
  std::lock_guard<std::mutex> hold(lock_);
  std::string joined;
  for (const std::string &line : log_) {
    if (line.compare(0, prefix.size(), prefix) != 0) continue;
    if (!joined.empty()) joined += '|';
    joined += line;
  }
  return joined;
}

std::unique_ptr<DbDriver> makeFakeDriver(std::shared_ptr<FakeDatabase> db) {
  return std::make_unique<FakeDriver>(std::move(db));
}
