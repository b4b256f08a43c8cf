#pragma once
// A small writer of one JSON document on a stream, for the commands' --json
// output: objects, arrays, strings, integers, booleans and null, written on
// one line. Strings are taken as UTF-8; control characters are escaped and a
// byte that is not part of valid UTF-8 becomes U+FFFD, so the document is
// always valid JSON whatever a damaged database holds.

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace vondrel::jet_tool {

// `text` as a quoted JSON string.
std::string JsonString(std::string_view text);

class JsonWriter {
 public:
  explicit JsonWriter(std::ostream& out) : out_(out) {}

  void BeginObject();
  void EndObject();
  void BeginArray();
  void EndArray();
  // The name of the next member of the current object.
  void Key(std::string_view name);

  void String(std::string_view text);
  void Integer(std::int64_t value);
  void Bool(bool value);
  void Null();

  // Shorthands for one member.
  void Member(std::string_view name, std::string_view text) { Key(name), String(text); }
  void Member(std::string_view name, const char* text) { Key(name), String(text); }
  template <typename Number>
    requires std::is_integral_v<Number>
  void Member(std::string_view name, Number value) {
    Key(name);
    if constexpr (std::is_same_v<Number, bool>) {
      Bool(value);
    } else {
      Integer(static_cast<std::int64_t>(value));
    }
  }

 private:
  // Writes the comma before a value or key that follows another.
  void Separate();

  std::ostream& out_;
  std::vector<bool> first_;  // per open object or array: nothing written in it yet
  bool after_key_ = false;
};

}  // namespace vondrel::jet_tool
