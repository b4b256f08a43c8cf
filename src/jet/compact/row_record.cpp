#include "jet/compact/row_record.h"

#include <cstring>
#include <stdexcept>

namespace jet::compact {
namespace {

template <typename T>
void Put(std::vector<std::uint8_t>& out, T value) {
  const std::size_t at = out.size();
  out.resize(at + sizeof value);
  std::memcpy(out.data() + at, &value, sizeof value);
}

void PutBytes(std::vector<std::uint8_t>& out, const std::uint8_t* data, std::size_t size) {
  Put(out, static_cast<std::uint32_t>(size));
  out.insert(out.end(), data, data + size);
}

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

void EncodeRowRecord(RowPointer pointer, RowPointer listed_at, std::span<const RowEvent> events,
                     std::span<const StoredField> fields, std::vector<std::uint8_t>& out) {
  Put(out, pointer.ToRaw());
  Put(out, listed_at.ToRaw());
  Put(out, static_cast<std::uint16_t>(events.size()));
  for (const RowEvent& e : events) {
    Put(out, static_cast<std::uint8_t>(e.kind));
    Put(out, e.column);
    Put(out, e.number);
    PutBytes(out, reinterpret_cast<const std::uint8_t*>(e.description.data()), e.description.size());
  }
  Put(out, static_cast<std::uint32_t>(fields.size()));
  for (const StoredField& f : fields) {
    Put(out, static_cast<std::uint8_t>((f.is_null ? kNull : 0) | (f.bool_value ? kTrue : 0) | (f.damaged ? kDamaged : 0)));
    PutBytes(out, f.bytes.data(), f.bytes.size());
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
