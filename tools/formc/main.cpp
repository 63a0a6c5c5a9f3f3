// norvex_formc: compiles a text form description into binary form data.
//   norvex_formc [--map stored=real]... -o out.bin in.txt
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "tools/formc/FormText.h"

int main(int argc, char** argv) {
  FormCompileOptions options;
  std::string out, in;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "-o" && i + 1 < argc) {
      out = argv[++i];
    } else if (a == "--map" && i + 1 < argc) {
      std::string m = argv[++i];
      std::size_t eq = m.find('=');
      if (eq == std::string::npos) {
        std::cerr << "norvex_formc: --map wants stored=real, got " << m << "\n";
        return 2;
      }
      options.designFileMap[m.substr(0, eq)] = m.substr(eq + 1);
    } else if (in.empty() && !a.empty() && a[0] != '-') {
      in = a;
    } else {
      std::cerr << "usage: norvex_formc [--map stored=real]... -o out.bin in.txt\n";
      return 2;
    }
  }
  if (in.empty() || out.empty()) {
    std::cerr << "usage: norvex_formc [--map stored=real]... -o out.bin in.txt\n";
    return 2;
  }
  std::ifstream f(in, std::ios::binary);
  if (!f) {
    std::cerr << in << ": cannot open\n";
    return 1;
  }
  std::ostringstream ss;
  ss << f.rdbuf();
  options.baseDir = std::filesystem::path(in).parent_path();
  try {
    std::string bin = CompileForm(ss.str(), options);
    std::string tmp = out + ".tmp";
    {
      std::ofstream o(tmp, std::ios::binary);
      o.write(bin.data(), static_cast<std::streamsize>(bin.size()));
      if (!o) {
        std::cerr << out << ": cannot write\n";
        return 1;
      }
    }
    std::filesystem::rename(tmp, out);
  } catch (const FormTextError& e) {
    std::cerr << in << ":" << e.Line() << ": error: " << e.what() << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << in << ": error: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
