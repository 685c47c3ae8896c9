// Counts the system calls this process makes, through a tracepoint of the kernel opened as a
// counter (perf_event_open, nothing sampled, nothing slowed down): raw_syscalls/sys_enter for
// every call, or one call's own, such as syscalls/sys_enter_fdatasync. It needs the tracing file system (/sys/kernel/tracing, mounted for instance by one run of
// `perf stat -e raw_syscalls:sys_enter true`) and the right to count tracepoints (root, or
// kernel.perf_event_paranoid at -1); without them available() is false and the benchmarks
// print "-" where the counts would be.
#ifndef PALVORIN_BENCH_SUPPORT_SYSCALLS_H_
#define PALVORIN_BENCH_SUPPORT_SYSCALLS_H_

#include <linux/perf_event.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

namespace palvorin {

class SyscallCounter {
 public:
  explicit SyscallCounter(const char* tracepoint = "raw_syscalls/sys_enter") {
    long id = -1;
    for (const char* base : {"/sys/kernel/tracing", "/sys/kernel/debug/tracing"}) {
      std::ifstream in(std::string(base) + "/events/" + tracepoint + "/id");
      if (in >> id) break;
      id = -1;
    }
    if (id < 0) return;
    perf_event_attr attr{};
    attr.type = PERF_TYPE_TRACEPOINT;
    attr.size = sizeof attr;
    attr.config = static_cast<uint64_t>(id);
    fd_ = static_cast<int>(syscall(SYS_perf_event_open, &attr, 0, -1, -1, PERF_FLAG_FD_CLOEXEC));
    all_ = std::string(tracepoint) == "raw_syscalls/sys_enter";
  }
  ~SyscallCounter() {
    if (fd_ >= 0) close(fd_);
  }
  SyscallCounter(const SyscallCounter&) = delete;
  SyscallCounter& operator=(const SyscallCounter&) = delete;

  bool available() const { return fd_ >= 0; }

  // The calls counted so far (for every call: the read that asks included).
  int64_t Now() const {
    uint64_t value = 0;
    if (fd_ < 0 || read(fd_, &value, sizeof value) != static_cast<ssize_t>(sizeof value)) return 0;
    return static_cast<int64_t>(value);
  }
  // The calls made since `start` (a value of Now()), less the read that asks.
  int64_t Since(int64_t start) const { return Now() - start - (all_ ? 1 : 0); }

 private:
  int fd_ = -1;
  bool all_ = false;
};

// `count` calls over `ops` operations, or "-" when nothing could be counted.
inline std::string PerOp(const SyscallCounter& counter, int64_t count, long ops, int decimals = 2) {
  if (!counter.available() || ops <= 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals,
                static_cast<double>(count) / static_cast<double>(ops));
  return text;
}

}  // namespace palvorin

#endif  // PALVORIN_BENCH_SUPPORT_SYSCALLS_H_
