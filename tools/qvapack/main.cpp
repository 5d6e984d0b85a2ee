// qvapack DIR [OUT.QVA] [--store] [--key TEXT]: packs the directory DIR (every file and sub-directory
// below it) into a QVA archive, by default "DIR.QVA" beside it, so that the library reads DIR's paths
// from the archive. --store keeps every file uncompressed; --key keys the archive with a key text
// instead of the default key (readers must be given the same text).
// Archive names are Shift-JIS, as every name inside the library: the command line and the names on
// disk (UTF-8) are converted, and a name with no Shift-JIS form is refused before anything is written.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "orbel/file/qva_writer.h"
#include "platform/host/text_encoding.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: qvapack DIR [OUT.QVA] [--store] [--key TEXT]\n");
  return 2;
}

int NoShiftJisForm(const std::string& utf8Name) {
  std::fprintf(stderr, "qvapack: %s: the name has no Shift-JIS form (archive names are Shift-JIS); rename it\n",
               utf8Name.c_str());
  return 1;
}

// The first name below `directory` (UTF-8) that has no Shift-JIS form, or an empty string.
std::string FindUnconvertibleName(const std::string& directory, std::string* listError) {
  std::error_code error;
  std::filesystem::recursive_directory_iterator it(directory, error), end;
  for (; !error && it != end; it.increment(error)) {
    std::string shiftJis;
    if (!plat::host::Utf8ToShiftJisExact(it->path().filename().string(), &shiftJis)) return it->path().string();
  }
  if (error) *listError = directory + ": " + error.message();
  return "";
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

  std::string listError;
  const std::string unconvertible = FindUnconvertibleName(directory, &listError);
  if (!unconvertible.empty()) return NoShiftJisForm(unconvertible);
  if (!listError.empty()) {
    std::fprintf(stderr, "qvapack: cannot list %s\n", listError.c_str());
    return 1;
  }
  std::string directorySjis, outputSjis, keySjis;
  if (!plat::host::Utf8ToShiftJisExact(directory, &directorySjis)) return NoShiftJisForm(directory);
  if (!plat::host::Utf8ToShiftJisExact(output, &outputSjis)) return NoShiftJisForm(output);
  if (!plat::host::Utf8ToShiftJisExact(key, &keySjis)) return NoShiftJisForm("--key " + key);
  if (!key.empty()) options.keyText = keySjis.c_str();

  std::string error;
  if (orbel::WriteQvaArchiveFromDirectory(directorySjis.c_str(), outputSjis.c_str(), options, &error) != 0) {
    std::fprintf(stderr, "qvapack: %s\n", plat::host::ShiftJisToUtf8(error).c_str());
    return 1;
  }
  std::printf("qvapack: wrote %s\n", output.c_str());
  return 0;
}
