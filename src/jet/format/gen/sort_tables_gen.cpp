// Writes jet/format/index_sort_tables.cpp from the per-character code lists
// Jackcess publishes (the files under jackcess/ in this folder):
//   vondrel-sort-tables-gen JACKCESS_DIR OUTPUT
// Each list has one line per character: a kind letter, then the code bytes in
// hex (a leading zero dropped), comma-separated where there is more than one
// field. The lists for the Jet 4 "General legacy" order cover U+0000..U+00FF
// and U+0100..U+FFFF without the surrogates; the list for the Jet 3 "General"
// order covers the 256 positions of code page 1252. Consecutive characters
// with the same kind, lengths, flag and extra bytes whose values advance by a
// constant step become one run, taken greedily from the first character.

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Code {
  std::string kind = "kIgnored";
  int value_length = 0;
  int extra_length = 0;
  int flag = 0;
  std::uint32_t value = 0;
  std::uint32_t extra = 0;
};

struct Run {
  std::uint32_t first;
  Code code;
  std::int64_t step;
};

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    fields.push_back(text.substr(start, comma - start));
    if (comma == std::string::npos) return fields;
    start = comma + 1;
  }
}

// Big-endian hex bytes; sets the byte count. Empty text is zero bytes.
std::uint32_t ParseHex(std::string hex, int& length, const std::string& line) {
  if (hex.size() % 2 != 0) hex.insert(hex.begin(), '0');
  if (hex.size() > 8) throw std::runtime_error("code longer than four bytes: " + line);
  length = static_cast<int>(hex.size() / 2);
  std::uint32_t value = 0;
  for (char digit : hex) {
    const std::string one(1, digit);
    if (one.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos)
      throw std::runtime_error("not a hex code: " + line);
    value = value * 16 + static_cast<std::uint32_t>(std::stoul(one, nullptr, 16));
  }
  return value;
}

Code ParseLine(const std::string& line) {
  if (line.empty()) throw std::runtime_error("empty line");
  const char kind = line[0];
  const std::vector<std::string> fields = Split(line.substr(1));
  auto expect = [&](std::size_t count) {
    if (fields.size() != count) throw std::runtime_error("unexpected fields: " + line);
  };
  Code code;
  switch (kind) {
    case 'X':
      break;
    case 'S':  // inline bytes
    case 'U':  // unprintable: recorded apart from the inline bytes
    case 'P':  // a modifier added to the previous character's extra byte
    case 'G':  // Jet 3: inline bytes that count in the extra nibbles
      expect(1);
      code.kind = kind == 'S' ? "kSimple" : kind == 'U' ? "kUnprintable" : kind == 'P' ? "kModifier" : "kSignificant";
      code.value = ParseHex(fields[0], code.value_length, line);
      break;
    case 'I':  // inline bytes and extra bytes
      expect(2);
      code.kind = "kInternational";
      code.value = ParseHex(fields[0], code.value_length, line);
      code.extra = ParseHex(fields[1], code.extra_length, line);
      break;
    case 'Z':  // inline bytes, optional extra bytes and a flag: "1" stands for 2, empty for 3
      expect(3);
      code.kind = "kFlagged";
      code.value = ParseHex(fields[0], code.value_length, line);
      code.extra = ParseHex(fields[1], code.extra_length, line);
      code.flag = fields[2] == "1" ? 2 : 3;
      break;
    default:
      throw std::runtime_error("unknown kind: " + line);
  }
  if (code.value_length == 0 && kind != 'X') throw std::runtime_error("no code bytes: " + line);
  if (code.extra_length > 2) throw std::runtime_error("extra code longer than two bytes: " + line);
  return code;
}

// Reads `count` codes from the list, in character order.
std::vector<Code> ReadList(const std::string& path, std::size_t count) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  std::vector<Code> codes;
  std::string line;
  while (std::getline(in, line)) codes.push_back(ParseLine(line));
  if (codes.size() != count)
    throw std::runtime_error(path + ": " + std::to_string(codes.size()) + " lines, expected " + std::to_string(count));
  return codes;
}

bool SameShape(const Code& a, const Code& b) {
  return a.kind == b.kind && a.value_length == b.value_length && a.extra_length == b.extra_length &&
         a.flag == b.flag && a.extra == b.extra;
}

std::vector<Run> MakeRuns(const std::vector<Code>& codes) {
  std::vector<Run> runs;
  std::size_t length = 0;  // characters in the last run
  for (std::uint32_t c = 0; c < codes.size(); ++c) {
    const Code& code = codes[c];
    if (!runs.empty()) {
      Run& run = runs.back();
      const std::int64_t step = static_cast<std::int64_t>(code.value) - static_cast<std::int64_t>(run.code.value);
      if (SameShape(run.code, code)) {
        if (length == 1) {
          run.step = step;
          ++length;
          continue;
        }
        if (step == run.step * static_cast<std::int64_t>(length)) {
          ++length;
          continue;
        }
      }
    }
    runs.push_back({c, code, 0});
    length = 1;
  }
  return runs;
}

void WriteRuns(std::ostream& out, const char* name, const char* count_name, const std::vector<Run>& runs) {
  out << "const SortCodeRun " << name << "[] = {\n";
  char line[128];
  for (const Run& run : runs) {
    std::snprintf(line, sizeof line, "    {0x%04X, %s, %d, %d, %d, 0x%X, %lld, 0x%X},\n", run.first,
                  run.code.kind.c_str(), run.code.value_length, run.code.extra_length, run.code.flag, run.code.value,
                  static_cast<long long>(run.step), run.code.extra);
    out << line;
  }
  out << "};\n\nconst std::size_t " << count_name << " = sizeof(" << name << ") / sizeof(" << name << "[0]);\n";
}

constexpr const char* kPreamble =
    "// Sort-code tables for text index keys, generated data: do not edit by hand.\n"
    "//\n"
    "// Written by jet/format/gen/sort_tables_gen.cpp (build the target\n"
    "// regenerate-sort-tables) from the per-character code lists that the\n"
    "// Jackcess project publishes as resource files, kept beside it in\n"
    "// jet/format/gen/jackcess/ (index_codes_genleg.txt and\n"
    "// index_codes_ext_genleg.txt for the Jet 4 \"General legacy\" order,\n"
    "// index_codes_gen_97.txt for the Jet 3 \"General\" order; Jackcess commit\n"
    "// 7a3433dc34cf). Each list holds one line per character; consecutive\n"
    "// characters of the same kind whose code value advances by a constant step\n"
    "// are merged into one run here. The high and low surrogates, absent from the\n"
    "// lists, form one run of kind kSurrogate whose codes are computed.\n"
    "// One deliberate change: in the Jet 3 order the NUL character has the code\n"
    "// 0x10 of the other control characters (as Access-written files show), not\n"
    "// \"ignored\" as the published list has it.\n"
    "\n"
    "#include \"jet/format/index_sort_tables.h\"\n"
    "\n"
    "namespace jet::sortcodes {\n"
    "\n";

std::vector<Code> GeneralLegacyCodes(const std::string& dir) {
  std::vector<Code> codes = ReadList(dir + "/index_codes_genleg.txt", 0x100);
  const std::vector<Code> ext = ReadList(dir + "/index_codes_ext_genleg.txt", 0x10000 - 0x100 - 0x800);
  std::size_t next = 0;
  for (std::uint32_t c = 0x100; c <= 0xFFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) {
      Code surrogate;
      surrogate.kind = "kSurrogate";
      codes.push_back(surrogate);
    } else {
      codes.push_back(ext[next++]);
    }
  }
  return codes;
}

std::vector<Code> General97Codes(const std::string& dir) {
  std::vector<Code> codes = ReadList(dir + "/index_codes_gen_97.txt", 0x100);
  // Access-written Jet 3 files give NUL the code of the control characters
  // after it; the published list has it ignored.
  if (codes[0].kind != "kIgnored" || codes[1].kind != "kSimple" || codes[1].value != 0x10)
    throw std::runtime_error("index_codes_gen_97.txt: the first two lines are no longer X and S10");
  codes[0] = codes[1];
  return codes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: vondrel-sort-tables-gen JACKCESS_DIR OUTPUT\n";
    return 2;
  }
  try {
    std::ostringstream text;
    text << kPreamble;
    WriteRuns(text, "kGeneralLegacyRuns", "kGeneralLegacyRunCount", MakeRuns(GeneralLegacyCodes(argv[1])));
    text << "\n";
    WriteRuns(text, "kGeneral97Runs", "kGeneral97RunCount", MakeRuns(General97Codes(argv[1])));
    text << "\n}  // namespace jet::sortcodes\n";
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << text.str();
    if (!out.flush()) throw std::runtime_error(std::string("cannot write ") + argv[2]);
  } catch (const std::exception& error) {
    std::cerr << "vondrel-sort-tables-gen: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
