#include "console/tty.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>

#include "os/status.h"

namespace palvorin {
namespace {

constexpr int kFatalSignals[] = {SIGTERM, SIGHUP, SIGINT,  SIGQUIT, SIGABRT,
                                 SIGSEGV, SIGBUS, SIGFPE,  SIGILL,  SIGPIPE};
constexpr int kAllSignals[] = {SIGTERM, SIGHUP, SIGINT, SIGQUIT, SIGABRT, SIGSEGV, SIGBUS,
                               SIGFPE,  SIGILL, SIGPIPE, SIGTSTP, SIGCONT, SIGWINCH};

// Everything about the taken terminal. Signal handlers read it, so what they use is plain
// data and atomics, filled before the handlers are installed.
struct TtyState {
  std::atomic<bool> open{false};
  std::atomic<bool> raw{false};  // raw mode and `enter` are in effect now
  int inFd = -1;
  int outFd = -1;
  bool ownsFd = false;
  termios saved{};
  termios rawModes{};
  char enter[256] = {};
  size_t enterLen = 0;
  char leave[256] = {};
  size_t leaveLen = 0;
  int wake[2] = {-1, -1};  // self-pipe: signal handlers write, TtyWait wakes
  std::atomic<bool> resized{false};
  std::atomic<bool> resumed{false};
  // Reading found the end of the input: the terminal is gone. A hung-up terminal keeps
  // reporting itself readable, so waiting on it would return at once for ever.
  bool hungUp = false;
  bool signals = false;
  struct sigaction previous[NSIG] = {};
  std::terminate_handler previousTerminate = nullptr;
  bool atexitDone = false;
  // Standard output and error while the terminal is taken.
  int savedStdout = -1;
  int savedStderr = -1;
  FILE* sideOut = nullptr;
  FILE* sideErr = nullptr;
  std::atomic<bool> capturing{false};  // standard output and error go to the side files now
};

TtyState& Tty() {
  static TtyState state;
  return state;
}

void WriteRaw(int fd, const char* data, size_t len) {
  while (len > 0) {
    const ssize_t n = write(fd, data, len);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    data += n;
    len -= static_cast<size_t>(n);
  }
}

// Gives the terminal back; safe inside a signal handler and safe to repeat.
void LeaveRawMode() {
  TtyState& t = Tty();
  if (!t.raw.exchange(false)) return;
  WriteRaw(t.outFd, t.leave, t.leaveLen);
  tcsetattr(t.inFd, TCSAFLUSH, &t.saved);
}

void EnterRawMode() {
  TtyState& t = Tty();
  if (t.raw.exchange(true)) return;
  tcsetattr(t.inFd, TCSAFLUSH, &t.rawModes);
  WriteRaw(t.outFd, t.enter, t.enterLen);
}

void Wake() {
  const int fd = Tty().wake[1];
  if (fd >= 0) {
    const char b = 1;
    [[maybe_unused]] ssize_t n = write(fd, &b, 1);
  }
}

// Copies what a side file holds to `target`; safe inside a signal handler.
void ReplaySide(FILE* side, int target) {
  if (side == nullptr) return;
  char buf[4096];
  for (off_t at = 0;;) {
    const ssize_t n = pread(fileno(side), buf, sizeof buf, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    WriteRaw(target, buf, static_cast<size_t>(n));
    at += n;
  }
}

// Puts standard output and error back where they were and shows what was kept aside;
// safe inside a signal handler and safe to repeat.
void RestoreStdStreams() {
  TtyState& t = Tty();
  if (!t.capturing.exchange(false)) return;
  dup2(t.savedStdout, STDOUT_FILENO);
  dup2(t.savedStderr, STDERR_FILENO);
  ReplaySide(t.sideOut, STDOUT_FILENO);
  ReplaySide(t.sideErr, STDERR_FILENO);
}

void OnFatalSignal(int sig, siginfo_t* info, void*) {
  const int saved = errno;
  LeaveRawMode();
  RestoreStdStreams();
  // The previous action (the default, or a sanitizer's reporter) takes over: a fault the
  // processor raised repeats on return, a signal someone sent is raised again.
  sigaction(sig, &Tty().previous[sig], nullptr);
  const bool fault = sig == SIGSEGV || sig == SIGBUS || sig == SIGFPE || sig == SIGILL;
  if (!fault || info == nullptr || info->si_code <= 0) raise(sig);
  errno = saved;
}

void OnStop(int) {
  const int saved = errno;
  LeaveRawMode();
  signal(SIGTSTP, SIG_DFL);
  // The signal is blocked while its handler runs; it must stop the program right here.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTSTP);
  sigprocmask(SIG_UNBLOCK, &stop, nullptr);
  raise(SIGTSTP);
  // Resumed (SIGCONT has taken the terminal again), or never stopped at all because no
  // shell waits for this program: the terminal is taken again either way.
  EnterRawMode();
  struct sigaction sa {};
  sa.sa_handler = OnStop;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTSTP, &sa, nullptr);
  errno = saved;
}

void OnContinue(int) {
  const int saved = errno;
  if (Tty().open) {
    EnterRawMode();
    Tty().resumed = true;
    Wake();
  }
  errno = saved;
}

void OnResize(int) {
  const int saved = errno;
  Tty().resized = true;
  Wake();
  errno = saved;
}

void OnTerminate() {
  LeaveRawMode();
  RestoreStdStreams();
  if (Tty().previousTerminate) Tty().previousTerminate();
  std::abort();
}

void OnExit() {
  LeaveRawMode();
  RestoreStdStreams();
}

void InstallSignals() {
  TtyState& t = Tty();
  for (int sig : kAllSignals) {
    struct sigaction sa {};
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    if (sig == SIGTSTP) sa.sa_handler = OnStop;
    else if (sig == SIGCONT) sa.sa_handler = OnContinue;
    else if (sig == SIGWINCH) sa.sa_handler = OnResize;
    else {
      sa.sa_sigaction = OnFatalSignal;
      sa.sa_flags |= SA_SIGINFO;
    }
    sigaction(sig, &sa, &t.previous[sig]);
    // A signal the program was started to ignore (a hang-up under nohup) stays ignored.
    if (t.previous[sig].sa_handler == SIG_IGN && sig != SIGWINCH && sig != SIGCONT) {
      sigaction(sig, &t.previous[sig], nullptr);
    }
  }
  t.previousTerminate = std::set_terminate(OnTerminate);
  t.signals = true;
}

void RemoveSignals() {
  TtyState& t = Tty();
  if (!t.signals) return;
  for (int sig : kAllSignals) sigaction(sig, &t.previous[sig], nullptr);
  std::set_terminate(t.previousTerminate);
  t.signals = false;
}

void ReleaseStdStreams();

void CaptureStdStreams() {
  TtyState& t = Tty();
  fflush(stdout);
  fflush(stderr);
  t.sideOut = tmpfile();
  t.sideErr = tmpfile();
  t.savedStdout = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  t.savedStderr = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
  if (t.sideOut == nullptr || t.sideErr == nullptr || t.savedStdout < 0 || t.savedStderr < 0) {
    ReleaseStdStreams();  // nowhere to keep it: output stays where it was
    return;
  }
  dup2(fileno(t.sideOut), STDOUT_FILENO);
  dup2(fileno(t.sideErr), STDERR_FILENO);
  t.capturing = true;
}

// Puts standard output and error back, shows what was written meanwhile, frees the side
// files.
void ReleaseStdStreams() {
  TtyState& t = Tty();
  fflush(stdout);
  fflush(stderr);
  RestoreStdStreams();
  for (FILE*& side : {std::ref(t.sideOut), std::ref(t.sideErr)}) {
    if (side != nullptr) fclose(side);
    side = nullptr;
  }
  for (int& fd : {std::ref(t.savedStdout), std::ref(t.savedStderr)}) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

bool CopyFixed(const std::string& from, char (&to)[256], size_t& len) {
  if (from.size() >= sizeof to) return false;
  memcpy(to, from.data(), from.size());
  len = from.size();
  return true;
}

}  // namespace

bool TtyOpen(const TtyOptions& options, std::string* error) {
  TtyState& t = Tty();
  auto fail = [&](std::string_view what) {
    if (error) *error = ErrnoStatus(errno, what).message;
    return false;
  };
  if (t.open) {
    if (error) *error = "the terminal is already in use";
    return false;
  }
  if (!CopyFixed(options.enter, t.enter, t.enterLen) ||
      !CopyFixed(options.leave, t.leave, t.leaveLen)) {
    if (error) *error = "terminal set-up text too long";
    return false;
  }
  if (options.inFd >= 0) {
    t.inFd = options.inFd;
    t.outFd = options.outFd >= 0 ? options.outFd : options.inFd;
    t.ownsFd = false;
  } else {
    const int fd = RetryOnEintr([] { return open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC); });
    if (fd < 0) return fail("/dev/tty");
    t.inFd = t.outFd = fd;
    t.ownsFd = true;
  }
  if (tcgetattr(t.inFd, &t.saved) != 0) {
    const bool ok = fail("terminal modes");
    if (t.ownsFd) close(t.inFd);
    return ok;
  }
  if (pipe2(t.wake, O_CLOEXEC | O_NONBLOCK) != 0) {
    const bool ok = fail("wake pipe");
    if (t.ownsFd) close(t.inFd);
    return ok;
  }
  t.rawModes = t.saved;
  t.rawModes.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
  t.rawModes.c_oflag &= ~OPOST;
  t.rawModes.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.rawModes.c_cflag &= ~(CSIZE | PARENB);
  t.rawModes.c_cflag |= CS8;
  t.rawModes.c_cc[VMIN] = 1;
  t.rawModes.c_cc[VTIME] = 0;
  t.resized = false;
  t.resumed = false;
  t.hungUp = false;

  if (options.captureOutput) CaptureStdStreams();
  if (options.handleSignals) InstallSignals();
  if (!t.atexitDone) t.atexitDone = std::atexit(OnExit) == 0;
  t.open = true;
  EnterRawMode();
  return true;
}

void TtyClose() {
  TtyState& t = Tty();
  if (!t.open) return;
  LeaveRawMode();
  RemoveSignals();
  ReleaseStdStreams();
  t.open = false;
  for (int& fd : t.wake) {
    close(fd);
    fd = -1;
  }
  if (t.ownsFd) close(t.inFd);
  t.inFd = t.outFd = -1;
}

bool TtyIsOpen() { return Tty().open; }

bool TtyWrite(std::string_view bytes) {
  TtyState& t = Tty();
  if (!t.open) return false;
  while (!bytes.empty()) {
    const ssize_t n =
        RetryOnEintr([&] { return write(t.outFd, bytes.data(), bytes.size()); });
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

TtyWaitResult TtyWait(int timeoutMs) {
  TtyState& t = Tty();
  if (!t.open || t.hungUp) return TtyWaitResult::Error;
  if (t.resized || t.resumed) return TtyWaitResult::Wake;
  pollfd fds[2] = {{t.inFd, POLLIN, 0}, {t.wake[0], POLLIN, 0}};
  const int n = poll(fds, 2, timeoutMs);
  if (n < 0) return errno == EINTR ? TtyWaitResult::Wake : TtyWaitResult::Error;
  if (n == 0) return TtyWaitResult::Timeout;
  if (fds[1].revents & POLLIN) {
    char drain[64];
    while (read(t.wake[0], drain, sizeof drain) > 0) {
    }
    return TtyWaitResult::Wake;
  }
  if (fds[0].revents & POLLIN) return TtyWaitResult::Input;
  return TtyWaitResult::Error;  // hung up
}

std::string TtyRead() {
  TtyState& t = Tty();
  std::string bytes;
  if (!t.open) return bytes;
  pollfd fd{t.inFd, POLLIN, 0};
  if (poll(&fd, 1, 0) <= 0 || !(fd.revents & POLLIN)) return bytes;
  char buf[4096];
  const ssize_t n = RetryOnEintr([&] { return read(t.inFd, buf, sizeof buf); });
  if (n > 0) {
    bytes.assign(buf, static_cast<size_t>(n));
  } else if (n == 0 || errno != EAGAIN) {
    t.hungUp = true;  // ready to read yet nothing to read: the end of the input
  }
  return bytes;
}

bool TtySize(int& rows, int& cols) {
  winsize ws{};
  if (!Tty().open || ioctl(Tty().outFd, TIOCGWINSZ, &ws) != 0 || ws.ws_row == 0) return false;
  rows = ws.ws_row;
  cols = ws.ws_col;
  return true;
}

bool TtyTakeResized() { return Tty().resized.exchange(false); }
bool TtyTakeResumed() { return Tty().resumed.exchange(false); }

}  // namespace palvorin
