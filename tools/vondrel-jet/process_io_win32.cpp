#include "process_io.h"

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <windows.h>
#include <shellapi.h>

#include <string_view>

#include "base/unicode.h"

namespace vondrel::jet_tool {

std::vector<std::string> ProcessArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> args;
  args.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    std::u16string_view text(reinterpret_cast<const char16_t*>(wide[i]), wcslen(wide[i]));
    args.push_back(unicode::Utf16ToUtf8(text));
  }
  LocalFree(wide);
  return args;
}

void UseBinaryStandardStreams() {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

bool StandardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

}  // namespace vondrel::jet_tool
