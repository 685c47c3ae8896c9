#include "os/clock.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <random>

#include "os/paths.h"

extern char** environ;

namespace palvorin {
namespace {

void InstallRealHooks(OsHooks& hooks);

// The clock module's state: the hooks, and the generator behind the real random numbers.
struct OsState {
  OsState() { InstallRealHooks(hooks); }
  OsHooks hooks;
  std::mt19937_64 generator{std::random_device{}()};
};

OsState& State() {
  static OsState state;
  return state;
}

LocalDate RealToday() {
  const time_t now = ::time(nullptr);
  struct tm local {};
  ::localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

TimeOfDay RealTimeOfDay() {
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  struct tm local {};
  ::localtime_r(&now.tv_sec, &local);
  return {local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(now.tv_nsec / 1000000)};
}

void RealSleep(int milliseconds) {
  if (milliseconds <= 0) return;
  struct timespec remaining {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  // A signal cuts nanosleep short; the rest of the wait is resumed.
  while (::nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

double RealRandom() {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  double r = unit(State().generator);
  return r < 1.0 ? r : 0.0;  // some library versions can round up to 1
}

ChildResult RealRunAndWait(const std::string& program, const std::vector<std::string>& args,
                           const std::string& errorFile) {
  ChildResult result;
  const bool isPath = program.find_first_of("/\\") != std::string::npos;
  const std::string file = isPath ? OsPath(program) : program;
  std::vector<std::string> argvText;
  argvText.reserve(args.size() + 1);
  argvText.push_back(file);
  argvText.insert(argvText.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argvText) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  int errorFd = -1;
  if (!errorFile.empty()) {
    errorFd = RetryOnEintr([&] {
      return ::open(OsPath(errorFile).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    });
    // The copy on descriptor 2 loses close-on-exec; the original closes with the exec.
    if (errorFd >= 0) ::posix_spawn_file_actions_adddup2(&actions, errorFd, 2);
  }
  pid_t pid = 0;
  auto spawn = isPath ? ::posix_spawn : ::posix_spawnp;
  const int err = spawn(&pid, file.c_str(), &actions, nullptr, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  if (errorFd >= 0) ::close(errorFd);
  if (err != 0) {
    result.status = ErrnoStatus(err, "run " + file);
    if (err == ENOENT || err == EACCES || err == ENOEXEC || err == ENOTDIR) {
      result.status.code = OsCode::NotFound;
    }
    return result;
  }
  int wstatus = 0;
  if (RetryOnEintr([&] { return ::waitpid(pid, &wstatus, 0); }) < 0) {
    result.status = ErrnoStatus(errno, "wait for " + file);
    return result;
  }
  if (WIFEXITED(wstatus)) {
    result.exitCode = WEXITSTATUS(wstatus);
  } else if (WIFSIGNALED(wstatus)) {
    result.exitCode = 128 + WTERMSIG(wstatus);
  }
  return result;
}

// The real runner as the hook holds it: the program's standard error is its own.
ChildResult RealRunAndWaitHook(const std::string& program, const std::vector<std::string>& args) {
  return RealRunAndWait(program, args, "");
}

void InstallRealHooks(OsHooks& hooks) {
  hooks.today = RealToday;
  hooks.timeOfDay = RealTimeOfDay;
  hooks.sleep = RealSleep;
  hooks.random = RealRandom;
  hooks.runAndWait = RealRunAndWaitHook;
}

}  // namespace

OsHooks& Os() { return State().hooks; }

void ResetOsForTest() { InstallRealHooks(State().hooks); }

// A hook a test emptied falls back to the real service rather than failing.
LocalDate Today() { return Os().today ? Os().today() : RealToday(); }
TimeOfDay TimeNow() { return Os().timeOfDay ? Os().timeOfDay() : RealTimeOfDay(); }

void SleepMs(int milliseconds) {
  if (Os().sleep) {
    Os().sleep(milliseconds);
  } else {
    RealSleep(milliseconds);
  }
}

double RandomUnit() { return Os().random ? Os().random() : RealRandom(); }

ChildResult RunAndWait(const std::string& program, const std::vector<std::string>& args,
                       const std::string& errorFile) {
  using Runner = ChildResult (*)(const std::string&, const std::vector<std::string>&);
  const Runner* hook = Os().runAndWait.target<Runner>();
  // Only a test's replacement stands in; the real runner gets the error file.
  if (!Os().runAndWait || (hook != nullptr && *hook == RealRunAndWaitHook)) {
    return RealRunAndWait(program, args, errorFile);
  }
  return Os().runAndWait(program, args);
}

}  // namespace palvorin
