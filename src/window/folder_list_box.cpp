#include "window/folder_list_box.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QStyledItemDelegate>

#include "location/name_matching.h"
#include "platform/path_text.h"
#include "window/path_text.h"

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

FolderListBox::FolderListBox(platform::FileSystem& fileSystem, QWidget* parent)
    : QListWidget(parent), fileSystem_(fileSystem) {
  setItemDelegate(new IndentingDelegate(this));
  setSelectionMode(QAbstractItemView::SingleSelection);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void FolderListBox::SetPath(const platform::PathText& folder) {
  // Both reads throw on a missing folder, before anything changes.
  const platform::PathText resolved = fileSystem_.ResolveFolder(folder);
  std::vector<std::u16string> subFolders = fileSystem_.SubFolders(resolved);
  location::SortNames(subFolders);
  const bool changed = !platform::SameNameIgnoringCase(resolved, path_);
  path_ = resolved;
  Show(resolved, subFolders);
  if (changed) emit Change();
}

platform::PathText FolderListBox::EntryPath(int row) const {
  const QListWidgetItem* entry = item(row);
  return entry ? ToU16(entry->data(kPathRole).toString()) : platform::PathText();
}

void FolderListBox::Show(const platform::PathText& folder, const std::vector<std::u16string>& subFolders) {
  clear();
  const QIcon openFolder = style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closedFolder = style()->standardIcon(QStyle::SP_DirClosedIcon);
  const std::vector<platform::PathText> chain = FolderChain(folder);
  int depth = 0;
  for (const platform::PathText& ancestor : chain) {
    auto* entry = new QListWidgetItem(openFolder, ToQString(LastComponent(ancestor)), this);
    entry->setData(kPathRole, ToQString(ancestor));
    entry->setData(kDepthRole, depth++);
  }
  chainLength_ = static_cast<int>(chain.size());
  for (const std::u16string& name : subFolders) {
    auto* entry = new QListWidgetItem(closedFolder, ToQString(name), this);
    entry->setData(kPathRole, ToQString(ChildFolder(folder, name)));
    entry->setData(kDepthRole, depth);
  }
  if (chainLength_ > 0) setCurrentRow(chainLength_ - 1);
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
