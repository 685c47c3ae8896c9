// A program run inside a detached tmux server of its own, for tests of the real terminal: keys
// go in with send-keys and the screen comes back with capture-pane.
#ifndef PALVORIN_TESTS_SUPPORT_TMUX_H_
#define PALVORIN_TESTS_SUPPORT_TMUX_H_

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

namespace palvorin::testing {

// What the shell `command` wrote on standard output; its errors are dropped.
inline std::string ShellOutput(const std::string& command) {
  std::string out;
  FILE* p = popen((command + " 2>/dev/null").c_str(), "r");
  if (p == nullptr) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

inline bool TmuxInstalled() { return ShellOutput("tmux -V").rfind("tmux", 0) == 0; }

// One session `session` in a server named after `prefix`, the process and a serial number, so
// that a server being killed never takes another test's. The server ends with the object.
class TmuxSession {
 public:
  TmuxSession(const std::string& prefix, std::string session) : session_(std::move(session)) {
    static int serial = 0;
    tmux_ = "tmux -L " + prefix + "-" + std::to_string(getpid()) + "-" +
            std::to_string(++serial) + " -f /dev/null";
  }
  ~TmuxSession() {
    if (started_) Run("kill-server");
  }
  TmuxSession(const TmuxSession&) = delete;
  TmuxSession& operator=(const TmuxSession&) = delete;

  // Starts the shell `command` in a `cols` x `rows` pane; `more` is appended to the tmux
  // command line (further commands after "\;").
  void Start(int cols, int rows, const std::string& command, const std::string& more = "") {
    started_ = true;
    Run("new-session -d -x " + std::to_string(cols) + " -y " + std::to_string(rows) + " -s " +
        session_ + " \"" + command + "\"" + more);
  }
  // Any tmux command on this server; its output.
  std::string Run(const std::string& arguments) const {
    return ShellOutput(tmux_ + " " + arguments);
  }
  const std::string& target() const { return session_; }

  std::string Screen() const { return Run("capture-pane -p -t " + session_); }
  // The screen with its colours as SGR sequences.
  std::string ColouredScreen() const { return Run("capture-pane -e -p -t " + session_); }
  // The pane's `format` ("#{cursor_y},#{cursor_x}") expanded, without the final newline.
  std::string Display(const std::string& format) const {
    std::string s = Run("display -p -t " + session_ + " '" + format + "'");
    while (!s.empty() && s.back() == '\n') s.pop_back();
    return s;
  }
  void Send(const std::string& keys) const { Run("send-keys -t " + session_ + " " + keys); }

  // Polls `ok` for up to ten seconds.
  static bool WaitFor(const std::function<bool()>& ok) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < until) {
      if (ok()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    return ok();
  }
  bool WaitForText(const std::string& text) const {
    return WaitFor([&] { return Screen().find(text) != std::string::npos; });
  }

 private:
  std::string session_;
  std::string tmux_;
  bool started_ = false;
};

}  // namespace palvorin::testing

#endif  // PALVORIN_TESTS_SUPPORT_TMUX_H_
