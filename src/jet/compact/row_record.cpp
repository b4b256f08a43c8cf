#include "jet/compact/row_record.h"

#include <cstring>
#include <stdexcept>

namespace jet::compact {
namespace {

// Places a record into space sized for it beforehand.
class Writer {
 public:
  explicit Writer(std::uint8_t* at) : at_(at) {}
  template <typename T>
  void Put(T value) {
    std::memcpy(at_, &value, sizeof value);
    at_ += sizeof value;
  }
  void PutBytes(const std::uint8_t* data, std::size_t size) {
    Put(static_cast<std::uint32_t>(size));
    if (size > 0) std::memcpy(at_, data, size);
    at_ += size;
  }

 private:
  std::uint8_t* at_;
};

// Reads what EncodeRowRecord wrote; the bytes come from our own temporary
// file, so a short record is a logic error, not damage.
class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  template <typename T>
  T Get() {
    T value;
    std::memcpy(&value, Take(sizeof value), sizeof value);
    return value;
  }
  std::span<const std::uint8_t> GetBytes() {
    const auto size = Get<std::uint32_t>();
    return {Take(size), size};
  }

 private:
  const std::uint8_t* Take(std::size_t size) {
    if (bytes_.size() - at_ < size) throw std::logic_error("row record cut short");
    const std::uint8_t* data = bytes_.data() + at_;
    at_ += size;
    return data;
  }
  std::span<const std::uint8_t> bytes_;
  std::size_t at_ = 0;
};

constexpr std::uint8_t kNull = 1, kTrue = 2, kDamaged = 4;

}  // namespace

std::size_t RowRecordSize(std::span<const RowEvent> events, std::span<const StoredField> fields) {
  std::size_t size = 4 + 4 + 2 + 4;
  for (const RowEvent& e : events) size += 1 + 2 + 4 + 4 + e.description.size();
  for (const StoredField& f : fields) size += 1 + 4 + f.bytes.size();
  return size;
}

void EncodeRowRecord(RowPointer pointer, RowPointer listed_at, std::span<const RowEvent> events,
                     std::span<const StoredField> fields, std::uint8_t* out) {
  Writer put(out);
  put.Put(pointer.ToRaw());
  put.Put(listed_at.ToRaw());
  put.Put(static_cast<std::uint16_t>(events.size()));
  for (const RowEvent& e : events) {
    put.Put(static_cast<std::uint8_t>(e.kind));
    put.Put(e.column);
    put.Put(e.number);
    put.PutBytes(reinterpret_cast<const std::uint8_t*>(e.description.data()), e.description.size());
  }
  put.Put(static_cast<std::uint32_t>(fields.size()));
  for (const StoredField& f : fields) {
    put.Put(static_cast<std::uint8_t>((f.is_null ? kNull : 0) | (f.bool_value ? kTrue : 0) | (f.damaged ? kDamaged : 0)));
    put.PutBytes(f.bytes.data(), f.bytes.size());
  }
}

void DecodeRowRecord(std::span<const std::uint8_t> bytes, RowRecord& record) {
  Reader in(bytes);
  record.pointer = RowPointer::FromRaw(in.Get<std::uint32_t>());
  record.listed_at = RowPointer::FromRaw(in.Get<std::uint32_t>());
  record.events.resize(in.Get<std::uint16_t>());
  for (RowEvent& e : record.events) {
    e.kind = static_cast<RowEvent::Kind>(in.Get<std::uint8_t>());
    e.column = in.Get<std::uint16_t>();
    e.number = in.Get<std::int32_t>();
    const auto text = in.GetBytes();
    e.description.assign(reinterpret_cast<const char*>(text.data()), text.size());
  }
  record.fields.resize(in.Get<std::uint32_t>());
  for (StoredField& f : record.fields) {
    const auto flags = in.Get<std::uint8_t>();
    f.is_null = flags & kNull;
    f.bool_value = flags & kTrue;
    f.damaged = flags & kDamaged;
    const auto data = in.GetBytes();
    f.bytes = io::ByteView(data.data(), data.size());
  }
}

}  // namespace jet::compact
