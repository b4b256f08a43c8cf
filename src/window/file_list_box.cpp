#include "window/file_list_box.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include "window/qt_text.h"

namespace vondrel::window {

FileListBox::FileListBox(platform::FileSystem& file_system, QWidget* parent)
    : QListWidget(parent), FileListContents(file_system) {
  setSelectionMode(QAbstractItemView::SingleSelection);
}

void FileListBox::ShowNames(const std::vector<std::u16string>& names) {
  clear();
  for (const std::u16string& name : names) addItem(ToQString(name));
  setCurrentRow(-1);
}

void FileListBox::ShowSelection(int position) {
  setCurrentRow(position);
  if (position < 0) clearSelection();
}

void FileListBox::mousePressEvent(QMouseEvent* event) {
  QListWidget::mousePressEvent(event);
  const QListWidgetItem* entry = itemAt(event->position().toPoint());
  if (event->button() != Qt::LeftButton || !entry) return;
  Pick(row(entry));
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
  if (row(entry) != ListIndex()) Pick(row(entry));
  emit DblClick();
}

void FileListBox::keyPressEvent(QKeyEvent* event) {
  const int before = currentRow();
  QListWidget::keyPressEvent(event);
  const int after = currentRow();
  if (after >= 0 && after != before) Pick(after);
}

}  // namespace vondrel::window
