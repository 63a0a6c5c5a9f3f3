#pragma once
// Other programs, as the tests need them (POSIX builds): one that holds a file locked the way
// the engine locks (flock), and one that runs with an ordinary user's rights, for whom a
// read-only file or folder really is read-only (the tests may run as root, for whom it is not).

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>

namespace testing_support {

// A child process that holds `file` open and locked (shared or exclusive) until this object
// goes. The constructor returns once the lock is held.
class HeldElsewhere {
 public:
  HeldElsewhere(const std::filesystem::path& file, bool exclusive);
  ~HeldElsewhere();
  HeldElsewhere(const HeldElsewhere&) = delete;
  HeldElsewhere& operator=(const HeldElsewhere&) = delete;
  bool Holding() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
};

// Runs `work` in a child process without the rights of root: when the test runs as root, the
// tree `root` is first given to the user "nobody", whom the child then becomes. Returns what
// `work` returned, or "child failed: ..." when it did not finish.
std::string RunAsOrdinaryUser(const std::filesystem::path& root, const std::function<std::string()>& work);

}  // namespace testing_support
