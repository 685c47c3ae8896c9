// The terminal backend on a pseudo-terminal: what it writes, what it decodes, and that the
// terminal is given back however the program ends.
#include "console/terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "support/scoped_env.h"

namespace palvorin {
namespace {

// A pseudo-terminal pair: the test plays the terminal on the master side.
class Pty {
 public:
  Pty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    slave_ = open(ptsname(master_), O_RDWR | O_NOCTTY);
    SetSize(25, 80);
  }
  ~Pty() {
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
  }
  bool ok() const { return slave_ >= 0; }
  int slave() const { return slave_; }
  // The terminal goes away, as when its window is closed.
  void HangUp() {
    close(master_);
    master_ = -1;
  }
  void SetSize(int rows, int cols) {
    winsize ws{};
    ws.ws_row = static_cast<unsigned short>(rows);
    ws.ws_col = static_cast<unsigned short>(cols);
    ioctl(master_, TIOCSWINSZ, &ws);
  }
  void Type(std::string_view bytes) {
    ASSERT_EQ(write(master_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
  }
  // Everything the program wrote, waiting up to `ms` for the first byte.
  std::string Output(int ms = 200) {
    std::string out;
    pollfd p{master_, POLLIN, 0};
    while (poll(&p, 1, out.empty() ? ms : 20) > 0) {
      char buf[8192];
      const ssize_t n = read(master_, buf, sizeof buf);
      if (n <= 0) break;
      out.append(buf, size_t(n));
    }
    return out;
  }
  bool Raw() const {
    termios t{};
    tcgetattr(slave_, &t);
    return !(t.c_lflag & (ICANON | ECHO));
  }

 private:
  int master_ = -1;
  int slave_ = -1;
};

TerminalOptions OnPty(const Pty& pty) {
  return TerminalOptions{.inFd = pty.slave(), .outFd = pty.slave(), .captureOutput = false,
                         .handleSignals = false, .escDelayMs = 30};
}

class TerminalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty_.ok()) << "no pseudo-terminal";
    std::string error;
    term_ = TerminalConsole::Open(&error, OnPty(pty_));
    ASSERT_NE(term_, nullptr) << error;
    setUp_ = pty_.Output();
  }
  void Present() {
    term_->Present(cells_, 25, 80, cursorRow_, cursorCol_, true, true);
  }
  Pty pty_;
  std::unique_ptr<TerminalConsole> term_;
  std::string setUp_;
  std::vector<Cell> cells_ = std::vector<Cell>(25 * 80);
  int cursorRow_ = 1, cursorCol_ = 1;
};

TEST_F(TerminalTest, TakesTheTerminalAndGivesItBack) {
  EXPECT_TRUE(pty_.Raw());
  EXPECT_NE(setUp_.find("\x1b[?1049h"), std::string::npos);  // own screen
  EXPECT_NE(setUp_.find("\x1b[?1006h"), std::string::npos);  // mouse presses
  EXPECT_NE(setUp_.find("\x1b[?2004h"), std::string::npos);  // bracketed paste
  EXPECT_NE(setUp_.find("\x1b[?7l"), std::string::npos);     // no autowrap
  std::string second;
  EXPECT_EQ(TerminalConsole::Open(&second, OnPty(pty_)), nullptr);
  EXPECT_FALSE(second.empty());
  term_.reset();
  const std::string bye = pty_.Output();
  EXPECT_NE(bye.find("\x1b[?1049l"), std::string::npos);
  EXPECT_NE(bye.find("\x1b[?25h"), std::string::npos);
  EXPECT_NE(bye.find("\x1b[?2004l"), std::string::npos);
  EXPECT_FALSE(pty_.Raw());
}

TEST(TerminalOnTheLinuxConsole, CursorShapesUseItsOwnSequenceAndNoOther) {
  testing::ScopedEnv term("TERM", "linux");
  Pty pty;
  ASSERT_TRUE(pty.ok());
  std::string error;
  auto console = TerminalConsole::Open(&error, OnPty(pty));
  ASSERT_NE(console, nullptr) << error;
  std::vector<Cell> cells(25 * 80);
  console->Present(cells, 25, 80, 1, 1, true, false);
  const std::string shown = pty.Output();
  EXPECT_NE(shown.find("\x1b[?6c"), std::string::npos);
  console.reset();
  const std::string bye = pty.Output();
  EXPECT_NE(bye.find("\x1b[?0c"), std::string::npos);
  // The console knows no DECSCUSR and would print its "q".
  EXPECT_EQ((shown + bye).find(" q"), std::string::npos);
}

TEST_F(TerminalTest, SendsAFrameOnceAndNothingWhenUnchanged) {
  cells_[0] = Cell{0xC9, 0x1F};
  cells_[1] = Cell{0x10, 0x1F};
  Present();
  const std::string frame = pty_.Output();
  EXPECT_NE(frame.find("\u2554\u25BA"), std::string::npos);
  Present();
  EXPECT_EQ(pty_.Output(50), "");
  cursorCol_ = 5;
  Present();
  EXPECT_EQ(pty_.Output(), "\x1b[5G");
}

TEST_F(TerminalTest, DecodesTypedKeys) {
  pty_.Type("a\x1b[15;5~\x1b[<0;12;3M\x7f");
  std::vector<InputEvent> got;
  for (int i = 0; i < 4; ++i) {
    auto e = term_->WaitEvent(2000);
    ASSERT_TRUE(e.has_value()) << "event " << i;
    got.push_back(*e);
  }
  EXPECT_EQ(got[0].key, 'a');
  EXPECT_EQ(got[1].key, 0x3F00);
  EXPECT_EQ(got[1].mods, kModCtrl);
  EXPECT_EQ(got[2].kind, InputEvent::Kind::Mouse);
  EXPECT_EQ(got[2].row, 3);
  EXPECT_EQ(got[2].col, 12);
  EXPECT_EQ(got[3].key, 8);
  EXPECT_FALSE(term_->WaitEvent(0).has_value());
  EXPECT_FALSE(term_->WaitEvent(20).has_value());
}

TEST_F(TerminalTest, ALoneEscIsDeliveredWithoutAnotherKey) {
  pty_.Type("\x1b");
  auto e = term_->WaitEvent(-1);
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->key, 0x1B);
  EXPECT_EQ(e->mods, 0);
  // Polling without waiting also gets it, once its time is up.
  pty_.Type("\x1b");
  std::optional<InputEvent> polled;
  for (int i = 0; i < 2000 && !polled; ++i) {
    polled = term_->WaitEvent(0);
    if (!polled) usleep(1000);
  }
  ASSERT_TRUE(polled.has_value());
  EXPECT_EQ(polled->key, 0x1B);
}

TEST_F(TerminalTest, APasteWhoseEndComesLateIsStillOnePaste) {
  pty_.Type("\x1b[200~ab\x1b[20");
  EXPECT_FALSE(term_->WaitEvent(150).has_value());  // well past the Esc delay
  pty_.Type("1~c");
  auto e = term_->WaitEvent(2000);
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->key, 0x16);
  EXPECT_EQ(e->pasted, std::optional<std::string>("ab"));
  e = term_->WaitEvent(2000);
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->key, 'c');
}

TEST_F(TerminalTest, ClicksOffTheScreenOnALargerTerminalAreDropped) {
  pty_.SetSize(40, 120);
  term_.reset();
  pty_.Output();
  std::string error;
  term_ = TerminalConsole::Open(&error, OnPty(pty_));
  ASSERT_NE(term_, nullptr) << error;
  Present();
  pty_.Type("\x1b[<0;100;3M\x1b[<0;5;30M\x1b[<2;80;25M");
  auto e = term_->WaitEvent(2000);
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->button, 2);
  EXPECT_EQ(e->row, 25);
  EXPECT_EQ(e->col, 80);
}

TEST_F(TerminalTest, ClipboardGoesToTheTerminalToo) {
  term_->CopyToSystemClipboard("Hola");
  EXPECT_EQ(pty_.Output(), "\x1b]52;c;SG9sYQ==\a");
  EXPECT_EQ(Osc52("\x82"), "\x1b]52;c;w6k=\a");     // é in UTF-8
  EXPECT_EQ(Osc52("ab\r\n"), "\x1b]52;c;YWINCg==\a");  // line ends stay line ends
  term_->Beep();
  EXPECT_EQ(pty_.Output(), "\a");
}

// A terminal that goes away while a key is awaited (its window closed, with hang-ups
// ignored) answers Esc, so every screen winds down, instead of reading nothing for ever.
TEST(TerminalHangUp, AWaitForAKeyAnswersEscOnceTheTerminalIsGone) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    pty.HangUp();  // the test's copy closes the window once the terminal is taken
    std::string error;
    auto term = TerminalConsole::Open(&error, OnPty(pty));
    if (!term) _exit(3);
    [[maybe_unused]] ssize_t n = write(ready[1], "x", 1);
    auto e = term->WaitEvent(-1);
    _exit(e && e->key == 0x1B ? 0 : 4);
  }
  char b;
  ASSERT_EQ(read(ready[0], &b, 1), 1);
  close(ready[0]);
  close(ready[1]);
  pty.HangUp();
  int status = 0;
  pid_t done = 0;
  for (int i = 0; i < 500 && done == 0; ++i) {
    done = waitpid(child, &status, WNOHANG);
    if (done == 0) usleep(10000);
  }
  if (done == 0) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    FAIL() << "still waiting for a key five seconds after the terminal went away";
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

// The terminal comes back in its normal modes however the program ends.
TEST(TerminalRestore, AfterACrashASignalOrAnUncaughtException) {
  enum class End { Segfault, Terminate, Exception, ExitWithoutClosing, Abort };
  const End ends[] = {End::Segfault, End::Terminate, End::Exception, End::ExitWithoutClosing,
                      End::Abort};
  for (End end : ends) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      TerminalOptions options = OnPty(pty);
      options.handleSignals = true;
      options.captureOutput = true;
      dup2(pty.slave(), STDOUT_FILENO);
      std::string error;
      static std::unique_ptr<TerminalConsole> term;
      term = TerminalConsole::Open(&error, options);
      if (!term) _exit(3);
      // Kept aside while the terminal is taken, shown once it is given back.
      printf("kept aside\n");
      fflush(stdout);
      switch (end) {
        case End::Segfault: {
          // A real fault, which repeats once the terminal is given back (under the
          // sanitizers their report follows).
          void (*volatile nowhere)() = nullptr;
          nowhere();
          break;
        }
        case End::Terminate: raise(SIGTERM); break;
        case End::Exception:
          // Thrown where nothing catches it (the test framework would, here).
          std::thread([] { throw std::runtime_error("unexpected"); }).join();
          break;
        case End::ExitWithoutClosing: {
          // Kept reachable, so only the exit hook can give the terminal back.
          static TerminalConsole* kept = term.release();
          (void)kept;
          exit(0);
        }
        case End::Abort: abort();
      }
      _exit(4);
    }
    int status = 0;
    const std::string out = pty.Output(5000);
    waitpid(child, &status, 0);
    const int kind = static_cast<int>(end);
    EXPECT_NE(out.find("\x1b[?1049h"), std::string::npos) << "case " << kind;
    const size_t left = out.find("\x1b[?1049l");
    EXPECT_NE(left, std::string::npos) << "case " << kind;
    EXPECT_GT(out.find("kept aside"), left) << "case " << kind << ": " << out.substr(left);
    EXPECT_NE(out.find("kept aside"), std::string::npos) << "case " << kind;
    EXPECT_FALSE(pty.Raw()) << "case " << kind;
    EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) >= 3) << "case " << kind;
  }
}

// Stopped from outside, the program gives the terminal back; resumed, it takes it again.
TEST(TerminalRestore, StopAndContinue) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    setpgid(0, 0);  // a job of its own, as a shell would start it, so it can be stopped
    TerminalOptions options = OnPty(pty);
    options.handleSignals = true;
    std::string error;
    auto term = TerminalConsole::Open(&error, options);
    if (!term) _exit(3);
    for (;;) pause();
  }
  auto waitFor = [&](const std::string& text) {
    std::string seen;
    for (int i = 0; i < 100 && seen.find(text) == std::string::npos; ++i) seen += pty.Output(50);
    return seen.find(text) != std::string::npos;
  };
  EXPECT_TRUE(waitFor("\x1b[?1049h"));
  kill(child, SIGTSTP);
  int status = 0;
  pid_t seen = 0;
  for (int i = 0; i < 500 && seen == 0; ++i) {
    seen = waitpid(child, &status, WUNTRACED | WNOHANG);
    if (seen == 0) usleep(10000);
  }
  if (seen == child && WIFSTOPPED(status)) {
    EXPECT_TRUE(waitFor("\x1b[?1049l"));
    EXPECT_FALSE(pty.Raw());
    kill(child, SIGCONT);
    EXPECT_TRUE(waitFor("\x1b[?1049h"));
    EXPECT_TRUE(pty.Raw());
  } else {
    ADD_FAILURE() << "the program did not stop";
  }
  kill(child, SIGTERM);
  waitpid(child, &status, 0);
  EXPECT_FALSE(pty.Raw());
}

}  // namespace
}  // namespace palvorin
