// A job for in-process tests: a fresh context whose streams are memory
// buffers, and helpers to run statements and read what they wrote.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "driver/Job.h"
#include "interpreter/Interpreter.h"

class TestJob {
 public:
  explicit TestJob(const std::string &console = "") {
    job = std::make_unique<Job>();
    job->job.err = open_memstream(&errText_, &errSize_);
    job->job.trace = open_memstream(&traceText_, &traceSize_);
    job->job.report.attach(open_memstream(&outText_, &outSize_));
    consoleText_ = console;
    job->job.console = fmemopen(consoleText_.data(), consoleText_.size(), "r");
    if (console.empty()) {
      std::fclose(job->job.console);
      job->job.console = std::fopen("/dev/null", "r");
    }
  }
  ~TestJob() {
    job->job.report.close();
    std::fclose(job->job.err);
    std::fclose(job->job.trace);
    std::fclose(job->job.console);
    std::free(errText_);
    std::free(traceText_);
    std::free(outText_);
  }

  // Put a line into lineBuffer and run it at the top level; the exit status
  // if the job ended, -1 if it goes on.
  int run(const char *line, int macroSlot = 0) {
    copyText(job->line.lineBuffer, sizeof job->line.lineBuffer, line);
    try {
      dispatchStatement(*job, macroSlot);
    } catch (const JobEnd &end) {
      return end.status;
    }
    return -1;
  }

  std::string err() { return read(job->job.err, errText_, errSize_); }
  std::string trace() { return read(job->job.trace, traceText_, traceSize_); }
  // The report; abortJob and finishJob close it, which keeps the buffer.
  std::string out() {
    job->job.report.flush();
    return std::string(outText_ ? outText_ : "", outSize_);
  }

  std::unique_ptr<Job> job;

 private:
  static std::string read(FILE *f, char *&text, size_t &size) {
    std::fflush(f);
    return std::string(text ? text : "", size);
  }
  char *errText_ = nullptr, *traceText_ = nullptr, *outText_ = nullptr;
  size_t errSize_ = 0, traceSize_ = 0, outSize_ = 0;
  std::string consoleText_;
};
