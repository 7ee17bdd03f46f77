// What the fuzz targets share: a scratch directory on a memory file system,
// a fresh copy of a small SQLite fixture for every run, and a whole job run
// in-process with its messages, trace and report thrown away.
#pragma once

#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "driver/Job.h"
#include "driver/Signals.h"

namespace fuzz {

// The tables the fixture holds: the emp/dept pair of the golden cases, a
// dual with a fixed date, and an empty table for writes.
constexpr const char kFixtureSql[] =
    "CREATE TABLE dual(DUMMY VARCHAR2(1), SYSDATE DATE);"
    "INSERT INTO dual VALUES('X','2026-12-08 10:30:00');"
    "CREATE TABLE emp (ename VARCHAR2(10), sal NUMBER(7,2), deptno NUMBER(2), hired DATE);"
    "INSERT INTO emp VALUES ('SMITH', 800, 20, '1980-12-17');"
    "INSERT INTO emp VALUES ('ALLEN', 1600.5, 30, '1981-02-20 10:30:00');"
    "INSERT INTO emp VALUES ('KING', 5000, 10, NULL);"
    "INSERT INTO emp VALUES ('O''BRIEN', NULL, NULL, 'not a date');"
    "CREATE TABLE dept (deptno NUMBER(2), dname VARCHAR2(14));"
    "INSERT INTO dept VALUES (10, 'ACCOUNTING');"
    "INSERT INTO dept VALUES (20, 'RESEARCH');"
    "INSERT INTO dept VALUES (30, 'SALES');"
    "CREATE TABLE t (n NUMBER, s VARCHAR2(20));";

// A scratch directory of this process, made once, with the fixture image.
struct Scratch {
  std::string dir;
  std::vector<unsigned char> fixture;   // the fixture database file's bytes

  Scratch() {
    const char *base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    dir = std::string(base) + "/kx-fuzz-" + std::to_string(getpid());
    std::string command = "mkdir -p " + dir;
    if (std::system(command.c_str()) != 0) std::abort();
    // No ODBC data source or driver is known: an ODBC name fails at once.
    setenv("ODBCSYSINI", dir.c_str(), 1);
    setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
    sqlite3 *db = nullptr;
    sqlite3_open(":memory:", &db);
    if (sqlite3_exec(db, kFixtureSql, nullptr, nullptr, nullptr) != SQLITE_OK) std::abort();
    sqlite3_int64 size = 0;
    unsigned char *bytes = sqlite3_serialize(db, "main", &size, 0);
    fixture.assign(bytes, bytes + size);
    sqlite3_free(bytes);
    sqlite3_close(db);
  }

  std::string path(const char *name) const { return dir + "/" + name; }

  void write(const char *name, const void *data, size_t size) const {
    FILE *f = std::fopen(path(name).c_str(), "wb");
    if (!f) std::abort();
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
  }

  void freshDatabase() const { write("fuzz.db", fixture.data(), fixture.size()); }
};

inline const Scratch &scratch() {
  static Scratch s;
  return s;
}

// Long enough for any job of a fuzz input's size that does not run away (a
// loop, millions of pages); the job is stopped after it.
constexpr int kJobLimitMs = 500;

// Run a job for argv (argv[0] the program name) with the console text as
// standard input; trace and dumps go nowhere, and so do the messages
// unless messages is given to hold them.
inline int runInProcess(std::vector<std::string> args, const std::string &console,
                        std::string *messages = nullptr) {
  std::vector<char *> argv;
  for (std::string &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  limitJobsMilliseconds(kJobLimitMs);
  auto job = std::make_unique<Job>();
  char *errText = nullptr;
  size_t errLength = 0;
  job->job.err = messages ? open_memstream(&errText, &errLength) : std::fopen("/dev/null", "w");
  job->job.trace = std::fopen("/dev/null", "w");
  std::string input = console;
  job->job.console = input.empty() ? std::fopen("/dev/null", "r") : fmemopen(input.data(), input.size(), "r");
  FILE *err = job->job.err, *trace = job->job.trace;   // a job may send its trace to err
  int status = runJob(*job, static_cast<int>(args.size()), argv.data());
  std::fclose(err);
  if (messages) {
    messages->assign(errText, errLength);
    std::free(errText);
  }
  std::fclose(trace);
  std::fclose(job->job.console);
  job->job.report.close();   // a job always closes it: kept for safety
  return status;
}

}  // namespace fuzz
