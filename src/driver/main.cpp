// kelvordantix inpfile outfile [user/password@conn [n]]
#include <memory>

#include "driver/Job.h"

int main(int argc, char **argv) {
  // The job context is large (fixed-size tables): keep it off the stack.
  auto job = std::make_unique<Job>();
  return runJob(*job, argc, argv);
}
