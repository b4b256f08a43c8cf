#pragma once
// The few control properties the browse handlers read and write, as small
// interfaces, so that the handlers know nothing of the windowing toolkit.
// A property assignment may raise the control's notification before it
// returns, and may throw vondrel::Error like the platform's controls do.

#include <string>

#include "platform/file_system.h"

namespace vondrel::location {

class OptionButton {
 public:
  virtual ~OptionButton() = default;
  virtual bool Value() const = 0;
};

class CommandButton {
 public:
  virtual ~CommandButton() = default;
  virtual void SetEnabled(bool enabled) = 0;
};

class TextBox {
 public:
  virtual ~TextBox() = default;
  virtual std::u16string Text() const = 0;
  virtual void SetText(const std::u16string& text) = 0;
};

// The folder list: raises its change notification inside SetPath when the
// folder changes; throws and keeps its folder when the new one does not exist.
class FolderList {
 public:
  virtual ~FolderList() = default;
  virtual platform::PathText Path() const = 0;
  virtual void SetPath(const platform::PathText& folder) = 0;
};

// The file list: setting its folder or a different pattern re-reads it and
// clears the selection; setting the selected position raises its click notification, and
// throws when the position does not exist (always so on an empty list).
class FileList {
 public:
  virtual ~FileList() = default;
  virtual platform::PathText Path() const = 0;
  virtual void SetPath(const platform::PathText& folder) = 0;
  virtual std::u16string Pattern() const = 0;
  virtual void SetPattern(const std::u16string& pattern) = 0;
  virtual int ListCount() const = 0;
  virtual int ListIndex() const = 0;
  virtual void SetListIndex(int position) = 0;
  // The selected entry's name without folder; empty when nothing is selected.
  virtual std::u16string FileName() const = 0;
};

}  // namespace vondrel::location
