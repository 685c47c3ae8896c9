// Another workstation for a test: a forked child that does its part (takes a lock, holds the
// folder ...), reports the part's status through a pipe, and then holds whatever it took until
// it is killed. The child starts as a new client of the engine.
#ifndef PALVORIN_TESTS_SUPPORT_OTHER_PROCESS_H_
#define PALVORIN_TESTS_SUPPORT_OTHER_PROCESS_H_

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "engine/engine.h"
#include "support/store_choice.h"

namespace palvorin::testing {

class OtherProcess {
 public:
  // Runs `part` in a child; returns once the child has reported its first status. The child
  // then runs `afterwards`, when given, and waits to be killed.
  explicit OtherProcess(const std::function<int()>& part,
                        const std::function<void()>& afterwards = {}) {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      ForgetEngineStateAfterFork();
      const char status = static_cast<char>(part());
      if (write(fds[1], &status, 1) != 1) _exit(2);
      if (afterwards) afterwards();
      for (;;) pause();  // holds whatever it took until killed
    }
    close(fds[1]);
    char status = -1;
    if (read(fds[0], &status, 1) == 1) status_ = status;
    close(fds[0]);
  }
  ~OtherProcess() { Kill(); }
  OtherProcess(const OtherProcess&) = delete;
  OtherProcess& operator=(const OtherProcess&) = delete;

  int status() const { return status_; }  // what the child's part returned; -1 if it died
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    // A server lets go of a dead client's locks when it ends that client's session, a moment
    // after the process is gone.
    if (OnServer()) AwaitServerSessionsGone(pid_);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int status_ = -1;
};

}  // namespace palvorin::testing

#endif  // PALVORIN_TESTS_SUPPORT_OTHER_PROCESS_H_
