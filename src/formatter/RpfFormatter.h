// The RPF formatter: line intake and command dispatch, tables and columns,
// word filling and alignment, pages, titles and underlining.
#pragma once

struct Job;

struct RpfFormatter {
  int PageNo = 0;                       // number of the current or last page
  int PageLine = 0;                     // lines of the current page used; 0 = none open
};

// Format one line of RPF text.
void feedRpfLine(Job &job, const char *line);
// Print the line group held so far.
void flushRpf(Job &job);
// Pages begun during the job.
int pageCount(const Job &job);
