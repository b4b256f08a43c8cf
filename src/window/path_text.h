#pragma once
// Conversions between the program's UTF-16 path text and Qt strings, and the
// folder arithmetic the folder list needs.

#include <QString>

#include <string>
#include <vector>

#include "platform/file_system.h"

namespace vondrel::window {

inline QString ToQString(const std::u16string& text) { return QString::fromStdU16String(text); }
inline std::u16string ToU16(const QString& text) { return text.toStdU16String(); }

// The folders from the drive root down to `folder` itself, as full paths:
// "C:\A\B" gives "C:\", "C:\A", "C:\A\B".
std::vector<platform::PathText> FolderChain(const platform::PathText& folder);

// The last component of a folder path; the root itself for a drive root.
std::u16string LastComponent(const platform::PathText& folder);

// `folder` + "\" + `name`, without doubling the separator at a drive root.
platform::PathText ChildFolder(const platform::PathText& folder, const std::u16string& name);

}  // namespace vondrel::window
