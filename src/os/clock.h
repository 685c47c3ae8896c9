// Time, waiting, chance and child programs. The clock, the sleep, the random numbers and the
// child-process runner all go through one replaceable hooks struct, so tests fix today's date,
// never really wait, draw known numbers and run no program.
#ifndef PALVORIN_OS_CLOCK_H_
#define PALVORIN_OS_CLOCK_H_

#include <functional>
#include <string>
#include <vector>

#include "os/status.h"

namespace palvorin {

struct LocalDate {
  int year = 0;
  int month = 0;  // 1 to 12
  int day = 0;    // 1 to 31
  bool operator==(const LocalDate&) const = default;
};

struct TimeOfDay {
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
  bool operator==(const TimeOfDay&) const = default;
};

// What the program runs as a child: the exit code when it ended (128 + the signal number when
// a signal ended it).
struct ChildResult {
  OsStatus status;  // NotFound when the program does not exist or cannot be started
  int exitCode = -1;
};

// The replaceable operating-system services. Each member starts as the real one.
struct OsHooks {
  std::function<LocalDate()> today;          // the system clock's local date
  std::function<TimeOfDay()> timeOfDay;      // the local time
  std::function<void(int milliseconds)> sleep;  // waits without using the CPU
  std::function<double()> random;            // uniform in [0, 1)
  std::function<ChildResult(const std::string& program, const std::vector<std::string>& args)>
      runAndWait;
};

// The run's only hooks.
OsHooks& Os();
// Every hook back to the real one.
void ResetOsForTest();

LocalDate Today();
TimeOfDay TimeNow();
// Waits `milliseconds` (nothing for 0 or less).
void SleepMs(int milliseconds);
// A uniform random number in [0, 1).
double RandomUnit();
// Runs `program` with `args` (not including the program itself) and waits for it to end. A
// program named with a "/" or "\" is a path (DOS form allowed); any other name is looked up
// in PATH. Standard input, output and error are the program's own; with `errorFile` its
// standard error goes to that file instead, emptied first (when the file cannot be made, the
// program keeps its own). A replaced runAndWait hook is called without `errorFile`.
ChildResult RunAndWait(const std::string& program, const std::vector<std::string>& args,
                       const std::string& errorFile = "");

}  // namespace palvorin

#endif  // PALVORIN_OS_CLOCK_H_
