#include "json_writer.h"

#include <cstdio>

#include "base/unicode.h"

namespace vondrel::jet_tool {

std::string JsonString(std::string_view text) {
  std::string quoted = "\"";
  while (!text.empty()) {
    const auto c = static_cast<unsigned char>(text[0]);
    char32_t code;
    std::size_t length = unicode::DecodeUtf8(text, 0, code);
    if (length == 0) {  // bad UTF-8: one U+FFFD per byte, as base/unicode.h does
      quoted += "\\ufffd";
      length = 1;
    } else if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += static_cast<char>(c);
    } else if (c == '\n') {
      quoted += "\\n";
    } else if (c == '\r') {
      quoted += "\\r";
    } else if (c == '\t') {
      quoted += "\\t";
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      quoted += escape;
    } else {
      quoted.append(text.substr(0, length));
    }
    text.remove_prefix(length);
  }
  return quoted + "\"";
}

void JsonWriter::Separate() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (first_.empty()) return;
  if (!first_.back()) out_ << ',';
  first_.back() = false;
}

void JsonWriter::BeginObject() {
  Separate();
  out_ << '{';
  first_.push_back(true);
}

void JsonWriter::EndObject() {
  out_ << '}';
  first_.pop_back();
}

void JsonWriter::BeginArray() {
  Separate();
  out_ << '[';
  first_.push_back(true);
}

void JsonWriter::EndArray() {
  out_ << ']';
  first_.pop_back();
}

void JsonWriter::Key(std::string_view name) {
  Separate();
  out_ << JsonString(name) << ':';
  after_key_ = true;
}

void JsonWriter::String(std::string_view text) {
  Separate();
  out_ << JsonString(text);
}

void JsonWriter::Integer(std::int64_t value) {
  Separate();
  out_ << value;
}

void JsonWriter::Bool(bool value) {
  Separate();
  out_ << (value ? "true" : "false");
}

void JsonWriter::Null() {
  Separate();
  out_ << "null";
}

}  // namespace vondrel::jet_tool
