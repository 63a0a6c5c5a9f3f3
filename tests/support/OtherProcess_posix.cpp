#include "support/OtherProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <exception>
#include <system_error>

namespace testing_support {

namespace {

constexpr uid_t kNobody = 65534;

void WriteAll(int fd, const std::string& s) {
  std::size_t done = 0;
  while (done < s.size()) {
    const ssize_t n = ::write(fd, s.data() + done, s.size() - done);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

std::string ReadAll(int fd) {
  std::string out;
  char buf[4096];
  for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) out.append(buf, static_cast<std::size_t>(n));
  return out;
}

void GiveTreeToNobody(const std::filesystem::path& root) {
  if (::lchown(root.c_str(), kNobody, kNobody) != 0) return;
  std::error_code ec;
  for (std::filesystem::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec))
    if (::lchown(it->path().c_str(), kNobody, kNobody) != 0) return;
}

}  // namespace

HeldElsewhere::HeldElsewhere(const std::filesystem::path& file, bool exclusive) {
  int ready[2];
  if (::pipe(ready) != 0) return;
  pid_ = ::fork();
  if (pid_ == 0) {
    ::close(ready[0]);
    const int fd = ::open(file.c_str(), exclusive ? O_RDWR : O_RDONLY);
    if (fd < 0 || ::flock(fd, exclusive ? LOCK_EX : LOCK_SH) != 0) _exit(1);
    WriteAll(ready[1], "held");
    ::close(ready[1]);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  if (pid_ > 0 && ReadAll(ready[0]) != "held") {
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  ::close(ready[0]);
}

HeldElsewhere::~HeldElsewhere() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
}

std::string RunAsOrdinaryUser(const std::filesystem::path& root, const std::function<std::string()>& work) {
  int result[2];
  if (::pipe(result) != 0) return "child failed: no pipe";
  const pid_t pid = ::fork();
  if (pid < 0) return "child failed: no fork";
  if (pid == 0) {
    ::close(result[0]);
    if (::geteuid() == 0) {
      GiveTreeToNobody(root);
      if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
        WriteAll(result[1], "child failed: cannot become nobody");
        _exit(1);
      }
    }
    std::string said;
    try {
      said = work();
    } catch (const std::exception& e) {
      said = std::string("child failed: ") + e.what();
    }
    WriteAll(result[1], said);
    _exit(0);
  }
  ::close(result[1]);
  std::string said = ReadAll(result[0]);
  ::close(result[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status)) return "child failed: it did not finish";
  return said;
}

}  // namespace testing_support
