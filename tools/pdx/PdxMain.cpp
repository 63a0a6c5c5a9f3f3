#include <iostream>
#include <string>
#include <vector>

#include "tools/pdx/PdxCommands.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include "text/CodePage.h"

int wmain(int argc, wchar_t** argv) {
  // The output is UTF-8 bytes; no CRLF translation of the CSV's own line ends.
  _setmode(_fileno(stdout), _O_BINARY);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(text::Narrow(argv[i]));
  return pdx::Run(args, std::cout, std::cerr);
}
#else
int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return pdx::Run(args, std::cout, std::cerr);
}
#endif
