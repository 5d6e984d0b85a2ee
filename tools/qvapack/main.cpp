// qvapack DIR [OUT.QVA] [--store] [--key TEXT]: packs the directory DIR (every file and sub-directory
// below it) into a QVA archive, by default "DIR.QVA" beside it, so that the library reads DIR's paths
// from the archive. --store keeps every file uncompressed; --key keys the archive with a key text
// instead of the default key (readers must be given the same text).
#include <cstdio>
#include <cstring>
#include <string>

#include "orbel/file/qva_writer.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: qvapack DIR [OUT.QVA] [--store] [--key TEXT]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  orbel::QvaWriterOptions options;
  std::string directory;
  std::string output;
  std::string key;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--store") == 0) {
      options.compress = false;
    } else if (std::strcmp(arg, "--key") == 0 && i + 1 < argc) {
      key = argv[++i];
    } else if (arg[0] == '-' && arg[1] == '-') {
      return Usage();
    } else if (directory.empty()) {
      directory = arg;
    } else if (output.empty()) {
      output = arg;
    } else {
      return Usage();
    }
  }
  if (directory.empty()) return Usage();
  while (directory.size() > 1 && (directory.back() == '/' || directory.back() == '\\')) directory.pop_back();
  if (output.empty()) output = directory + ".QVA";
  if (!key.empty()) options.keyText = key.c_str();

  std::string error;
  if (orbel::WriteQvaArchiveFromDirectory(directory.c_str(), output.c_str(), options, &error) != 0) {
    std::fprintf(stderr, "qvapack: %s\n", error.c_str());
    return 1;
  }
  std::printf("qvapack: wrote %s\n", output.c_str());
  return 0;
}
