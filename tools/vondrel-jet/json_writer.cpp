#include "json_writer.h"

#include <cstdio>

namespace vondrel::jet_tool {
namespace {

// The length of the valid UTF-8 sequence at the start of `text`, or 0.
std::size_t Utf8SequenceLength(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  std::size_t length;
  char32_t min;
  char32_t code;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) length = 2, min = 0x80, code = lead & 0x1F;
  else if (lead >= 0xE0 && lead <= 0xEF) length = 3, min = 0x800, code = lead & 0x0F;
  else if (lead >= 0xF0 && lead <= 0xF4) length = 4, min = 0x10000, code = lead & 0x07;
  else return 0;
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i) & 0x3F);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

std::string JsonString(std::string_view text) {
  std::string quoted = "\"";
  while (!text.empty()) {
    const auto c = static_cast<unsigned char>(text[0]);
    std::size_t length = Utf8SequenceLength(text);
    if (length == 0) {
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
