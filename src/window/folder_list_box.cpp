#include "window/folder_list_box.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QStyledItemDelegate>

#include "location/name_matching.h"
#include "platform/path_text.h"
#include "window/qt_text.h"

namespace vondrel::window {
namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kDepthRole = Qt::UserRole + 1;

// Indents each entry by its depth below the drive root, so the list reads as
// the branch of a tree that leads to the current folder.
class IndentingDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem indented(option);
    indented.rect.adjust(Indent(index), 0, 0, 0);
    QStyledItemDelegate::paint(painter, indented, index);
  }
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.rwidth() += Indent(index);
    return size;
  }

 private:
  static int Indent(const QModelIndex& index) { return 8 * index.data(kDepthRole).toInt(); }
};

}  // namespace

FolderListBox::FolderListBox(platform::FileSystem& file_system, QWidget* parent)
    : QListWidget(parent), file_system_(file_system) {
  setItemDelegate(new IndentingDelegate(this));
  setSelectionMode(QAbstractItemView::SingleSelection);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void FolderListBox::SetPath(const platform::PathText& folder) {
  // Both reads throw on a missing folder, before anything changes.
  const platform::PathText resolved = file_system_.ResolveFolder(folder);
  std::vector<std::u16string> sub_folders = file_system_.SubFolders(resolved);
  location::SortNames(sub_folders);
  const bool changed = !platform::SameNameIgnoringCase(resolved, path_);
  path_ = resolved;
  Show(resolved, sub_folders);
  if (changed) emit Change();
}

platform::PathText FolderListBox::EntryPath(int row) const {
  const QListWidgetItem* entry = item(row);
  return entry ? ToU16(entry->data(kPathRole).toString()) : platform::PathText();
}

void FolderListBox::Show(const platform::PathText& folder, const std::vector<std::u16string>& sub_folders) {
  clear();
  const QIcon open_folder = style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closed_folder = style()->standardIcon(QStyle::SP_DirClosedIcon);
  const std::vector<platform::PathText> chain = platform::FolderChain(folder);
  int depth = 0;
  for (const platform::PathText& ancestor : chain) {
    auto* entry = new QListWidgetItem(open_folder, ToQString(platform::LastComponent(ancestor)), this);
    entry->setData(kPathRole, ToQString(ancestor));
    entry->setData(kDepthRole, depth++);
  }
  chain_length_ = static_cast<int>(chain.size());
  for (const std::u16string& name : sub_folders) {
    auto* entry = new QListWidgetItem(closed_folder, ToQString(name), this);
    entry->setData(kPathRole, ToQString(platform::ChildFolder(folder, name)));
    entry->setData(kDepthRole, depth);
  }
  if (chain_length_ > 0) setCurrentRow(chain_length_ - 1);
}

void FolderListBox::OpenEntry(int row) {
  const platform::PathText target = EntryPath(row);
  if (target.empty()) return;
  try {
    SetPath(target);
  } catch (const std::exception&) {
    // The folder vanished since the list was read: show what is there now.
    try {
      SetPath(path_);
    } catch (const std::exception&) {
    }
  }
}

void FolderListBox::mouseDoubleClickEvent(QMouseEvent* event) {
  const QListWidgetItem* entry = itemAt(event->position().toPoint());
  if (event->button() != Qt::LeftButton || !entry) {
    QListWidget::mouseDoubleClickEvent(event);
    return;
  }
  OpenEntry(row(entry));
}

void FolderListBox::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentRow() >= 0) {
    OpenEntry(currentRow());
    return;
  }
  QListWidget::keyPressEvent(event);
}

}  // namespace vondrel::window
