#include "window/folder_list_box.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QStyledItemDelegate>

#include "window/qt_text.h"

namespace vondrel::window {
namespace {

constexpr int kDepthRole = Qt::UserRole;

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
    : QListWidget(parent), FolderListContents(file_system) {
  setItemDelegate(new IndentingDelegate(this));
  setSelectionMode(QAbstractItemView::SingleSelection);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void FolderListBox::ShowEntries(const std::vector<Entry>& entries, int chain_length) {
  clear();
  const QIcon open_folder = style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closed_folder = style()->standardIcon(QStyle::SP_DirClosedIcon);
  for (const Entry& entry : entries) {
    auto* item = new QListWidgetItem(entry.open ? open_folder : closed_folder, ToQString(entry.text), this);
    item->setData(kDepthRole, entry.depth);
  }
  if (chain_length > 0) setCurrentRow(chain_length - 1);
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
