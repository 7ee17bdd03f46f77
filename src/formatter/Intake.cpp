// Placeholder formatter: writes each line through unformatted.
#include <cstdio>

#include "driver/Job.h"

void feedRpfLine(Job &job, const char *line) { std::fprintf(job.job.output, "%s\n", line); }

void flushRpf(Job &) {}

int pageCount(const Job &) { return 0; }
