// mksample: writes a sample older installation (both alias folders) for trying the migration.
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/sample/SampleInstallation.h"

#ifdef _WIN32
#include <windows.h>

#include "text/CodePage.h"
#endif

namespace {

int Run(const std::vector<std::string>& args) {
  sample::SampleOptions options;
  std::string error;
  if (!sample::ParseSampleArguments(args, options, error)) {
    std::cerr << "mksample: " << error << "\n" << sample::kSampleUsage;
    return 2;
  }
  try {
    sample::WriteSampleInstallation(options);
  } catch (const std::exception& e) {
    std::cerr << "mksample: " << e.what() << "\n";
    return 1;
  }
  return 0;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(text::Narrow(argv[i]));
  return Run(args);
}
#else
int main(int argc, char** argv) { return Run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
