#include "window/file_list_box.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include "location/name_matching.h"
#include "window/qt_text.h"

namespace vondrel::window {
namespace {

// The number and text the platform's list controls give for a position
// that does not exist.
constexpr std::int32_t kInvalidPropertyValue = 380;

}  // namespace

FileListBox::FileListBox(platform::FileSystem& file_system, QWidget* parent)
    : QListWidget(parent), file_system_(file_system) {
  setSelectionMode(QAbstractItemView::SingleSelection);
}

std::vector<std::u16string> FileListBox::Read(const platform::PathText& folder, const std::u16string& pattern) {
  return location::MatchingFiles(file_system_, folder, pattern);
}

void FileListBox::SetPath(const platform::PathText& folder) {
  // Resolving and reading both throw on a missing folder, before anything changes.
  const platform::PathText resolved = file_system_.ResolveFolder(folder);
  std::vector<std::u16string> names = Read(resolved, pattern_);
  path_ = resolved;
  Show(std::move(names));
}

void FileListBox::SetPattern(const std::u16string& pattern) {
  // The same pattern again leaves the list and its selection alone, so that
  // Find keeps the file that its folder change has just selected.
  if (pattern == pattern_) return;
  std::vector<std::u16string> names = Read(path_, pattern);
  pattern_ = pattern;
  Show(std::move(names));
}

void FileListBox::Show(std::vector<std::u16string> names) {
  names_ = std::move(names);
  list_index_ = -1;
  clear();
  for (const std::u16string& name : names_) addItem(ToQString(name));
  setCurrentRow(-1);
}

void FileListBox::SetListIndex(int position) {
  if (position < -1 || position >= ListCount()) throw Error(kInvalidPropertyValue, "Invalid property value");
  Select(position);
  if (position >= 0) emit Click();
}

void FileListBox::Select(int position) {
  list_index_ = position;
  setCurrentRow(position);
  if (position < 0) clearSelection();
}

std::u16string FileListBox::FileName() const {
  return list_index_ >= 0 ? names_[static_cast<std::size_t>(list_index_)] : std::u16string();
}

std::u16string FileListBox::List(int position) const {
  if (position < 0 || position >= ListCount()) throw Error(kInvalidPropertyValue, "Invalid property value");
  return names_[static_cast<std::size_t>(position)];
}

void FileListBox::mousePressEvent(QMouseEvent* event) {
  QListWidget::mousePressEvent(event);
  const QListWidgetItem* entry = itemAt(event->position().toPoint());
  if (event->button() != Qt::LeftButton || !entry) return;
  Select(row(entry));
  emit Click();
}

void FileListBox::mouseDoubleClickEvent(QMouseEvent* event) {
  const QListWidgetItem* entry = itemAt(event->position().toPoint());
  if (event->button() != Qt::LeftButton || !entry) {
    QListWidget::mouseDoubleClickEvent(event);
    return;
  }
  // The first press of a double-click has already selected the entry and
  // raised Click; this is the second press. Should it land on another entry,
  // that entry is clicked first.
  if (row(entry) != list_index_) {
    Select(row(entry));
    emit Click();
  }
  emit DblClick();
}

void FileListBox::keyPressEvent(QKeyEvent* event) {
  const int before = currentRow();
  QListWidget::keyPressEvent(event);
  const int after = currentRow();
  if (after >= 0 && after != before) {
    Select(after);
    emit Click();
  }
}

}  // namespace vondrel::window
