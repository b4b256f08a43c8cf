#include "window/vondrel.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QIcon>
#include <QMessageBox>
#include <QScreen>
#include <QSvgWidget>

#include "window/shape_box.h"
#include "window/system_colours.h"
#include "window/control_table.h"
#include "window/qt_text.h"

namespace vondrel::window {
namespace {

// The heading's font, or the nearest bold sans-serif of its size.
QFont HeadingFont() {
  const QString family = QString::fromLatin1(table::kHeadingFontFamily.data(),
                                             static_cast<qsizetype>(table::kHeadingFontFamily.size()));
  QFont font;
  if (QFontDatabase::hasFamily(family)) {
    font.setFamily(family);
  } else {
    QFont sans(QStringLiteral("Sans Serif"));
    sans.setStyleHint(QFont::SansSerif);
    font.setFamily(QFontInfo(sans).family());
  }
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(table::kHeadingFontPoints);
  font.setBold(true);
  return font;
}

QString ObjectName(const table::ControlRow& row) {
  QString name = QString::fromLatin1(row.name.data(), static_cast<qsizetype>(row.name.size()));
  if (row.index != table::kNone) name += QString::number(row.index);
  return name;
}

QMessageBox::Icon MessageBoxIcon(int style) {
  switch (style) {
    case 16: return QMessageBox::Critical;
    case 32: return QMessageBox::Question;
    case 48: return QMessageBox::Warning;
    case 64: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

QString WithLineFeeds(const std::u16string& text) {
  return ToQString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

}  // namespace

Vondrel::Vondrel(platform::FileSystem& file_system, repair::RepairOperation& repair_operation, QWidget* parent)
    : QWidget(parent), file_system_(file_system), repair_operation_(repair_operation) {
  CreateControls();
  ApplyLayout();
  ApplyAppearance();
  ApplyTabOrder();
  Connect();
  KeepSelectedOptionAsTabStop();
  Form_Load();
}

Vondrel::~Vondrel() = default;

QWidget* Vondrel::Shape1() const { return Shape1_; }

void Vondrel::CreateControls() {
  setObjectName(QStringLiteral("Vondrel"));
  // Created from the bottom of the stacking order to the top, since a later
  // sibling lies over an earlier one; the frame's options once it exists.
  for (auto row = table::kControls.rbegin(); row != table::kControls.rend(); ++row) {
    if (row->container.empty()) Create(*row, this);
  }
  for (auto row = table::kControls.rbegin(); row != table::kControls.rend(); ++row) {
    if (!row->container.empty()) Create(*row, Control(table::Row(row->container)));
  }

  for (QRadioButton* option : optSelect_) option_adapters_.push_back(std::make_unique<OptionButtonAdapter>(*option));
  path_box_ = std::make_unique<TextBoxAdapter>(*txtPath_);
  instructions_box_ = std::make_unique<TextBoxAdapter>(*txtInstructions_);
  repair_button_ = std::make_unique<CommandButtonAdapter>(*cmdRepair_);
  for (std::size_t index = 0; index < optSelect_.size(); ++index) browse_.optSelect[index] = option_adapters_[index].get();
  browse_.Dir1 = Dir1_;
  browse_.File1 = File1_;
  browse_.txtPath = path_box_.get();
  browse_.cmdRepair = repair_button_.get();
}

// Makes the control of one row, of the row's kind and with its caption, and
// keeps it under its name.
QWidget* Vondrel::Create(const table::ControlRow& row, QWidget* container) {
  const QString caption = ToQString(row.caption);
  QWidget* control = nullptr;
  switch (row.kind) {
    case table::Kind::TextBox:
      control = (row.name == "txtPath" ? txtPath_ : txtInstructions_) = new QPlainTextEdit(container);
      break;
    case table::Kind::PushButton:
      control = (row.name == "cmdFind" ? cmdFind_ : cmdRepair_) = new QPushButton(caption, container);
      break;
    case table::Kind::Frame:
      control = Frame1_ = new QGroupBox(caption, container);
      break;
    case table::Kind::OptionButton:
      control = optSelect_.at(static_cast<std::size_t>(row.index)) = new QRadioButton(caption, container);
      break;
    case table::Kind::FileList:
      control = File1_ = new FileListBox(file_system_, container);
      break;
    case table::Kind::FolderList:
      control = Dir1_ = new FolderListBox(file_system_, container);
      break;
    case table::Kind::Label:
      control = Label4_ = new QLabel(caption, container);
      break;
    case table::Kind::Picture:
      control = Image1_ = new QSvgWidget(QStringLiteral(":/vondrel/logo.svg"), container);
      break;
    case table::Kind::Rectangle:
      control = Shape1_ = new ShapeBox(container);
      break;
  }
  control->setObjectName(ObjectName(row));
  return control;
}

QWidget* Vondrel::Control(const table::ControlRow& row) const {
  switch (row.kind) {
    case table::Kind::TextBox: return row.name == "txtPath" ? txtPath_ : txtInstructions_;
    case table::Kind::PushButton: return row.name == "cmdFind" ? cmdFind_ : cmdRepair_;
    case table::Kind::Frame: return Frame1_;
    case table::Kind::OptionButton: return optSelect_.at(static_cast<std::size_t>(row.index));
    case table::Kind::FileList: return File1_;
    case table::Kind::FolderList: return Dir1_;
    case table::Kind::Label: return Label4_;
    case table::Kind::Picture: return Image1_;
    case table::Kind::Rectangle: return Shape1_;
  }
  return nullptr;
}

void Vondrel::ApplyLayout() {
  const QScreen* display = screen();
  const TwipsScale scale(display ? display->logicalDotsPerInch() : 96.0);
  setFixedSize(scale.ToPixels(table::kClientWidth), scale.ToPixels(table::kClientHeight));
  for (const table::ControlRow& row : table::kControls) Control(row)->setGeometry(ToQRect(scale.ToPixels(row.bounds)));

  if (display) {
    const QRect available = display->availableGeometry();
    move(available.center() - QPoint(width() / 2, height() / 2));
  }
}

void Vondrel::ApplyAppearance() {
  setWindowTitle(ToQString(table::kCaption));
  // A fixed dialog border: no resizing, no minimise or maximise button, the
  // close button kept.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  QIcon icon;
  icon.addFile(QStringLiteral(":/vondrel/icon-16.png"), QSize(16, 16));
  icon.addFile(QStringLiteral(":/vondrel/icon-32.png"), QSize(32, 32));
  setWindowIcon(icon);

  const QColor panel_colour = InactiveTitleBarColour();
  QPalette window_palette = palette();
  window_palette.setColor(QPalette::Window, panel_colour);
  window_palette.setColor(QPalette::WindowText, Qt::black);
  setPalette(window_palette);
  setAutoFillBackground(true);

  for (const table::ControlRow& row : table::kControls) {
    QWidget* control = Control(row);
    if (row.Has(table::kPanelBackground)) {
      QPalette colours = control->palette();
      colours.setColor(QPalette::Window, panel_colour);
      colours.setColor(QPalette::Base, panel_colour);
      colours.setColor(QPalette::Text, Qt::black);
      control->setPalette(colours);
      // Buttons fill with the button colour unless told otherwise.
      control->setBackgroundRole(QPalette::Window);
      control->setAutoFillBackground(true);
    }
    if (auto* box = qobject_cast<QPlainTextEdit*>(control)) {
      box->setReadOnly(row.Has(table::kReadOnly));
      box->setLineWrapMode(row.Has(table::kMultiLine) ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
      box->setTabChangesFocus(true);
      box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
      // Not a tab stop: the mouse can still put the focus there to select text.
      box->setFocusPolicy(row.Has(table::kNoTabStop) ? Qt::ClickFocus : Qt::StrongFocus);
    }
    if (auto* option = qobject_cast<QRadioButton*>(control)) option->setChecked(row.Has(table::kSelected));
    if (row.Has(table::kTextCentred)) Label4_->setAlignment(Qt::AlignCenter);
    if (row.Has(table::kHeadingFont)) control->setFont(HeadingFont());
    if (row.tab_index == table::kNone || row.kind == table::Kind::Label || row.kind == table::Kind::Frame) {
      control->setFocusPolicy(Qt::NoFocus);
    }
  }
}

void Vondrel::ApplyTabOrder() {
  const std::vector<QWidget*> order = TabOrder();
  for (std::size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

std::vector<QWidget*> Vondrel::TabOrder() const {
  // Every row with a tab index that can hold the focus: the frame and the
  // label pass it on.
  std::vector<QWidget*> order;
  for (const table::ControlRow* row : table::InTabOrder()) {
    if (row->kind == table::Kind::Frame || row->kind == table::Kind::Label || row->Has(table::kNoTabStop)) continue;
    order.push_back(Control(*row));
  }
  return order;
}

void Vondrel::Connect() {
  // The option group is one tab stop, at the selected option, as in a
  // Windows dialog; the arrow keys move within the group.
  for (QRadioButton* option : optSelect_) {
    connect(option, &QRadioButton::toggled, this, [this](bool) { KeepSelectedOptionAsTabStop(); });
  }
  connect(cmdRepair_, &QPushButton::clicked, this, [this] { cmdRepair_Click(); });
  connect(cmdFind_, &QPushButton::clicked, this, [this] { cmdFind_Click(); });
  for (std::size_t index = 0; index < optSelect_.size(); ++index) {
    connect(optSelect_[index], &QRadioButton::clicked, this, [this, index] { optSelect_Click(static_cast<int>(index)); });
  }
  connect(Dir1_, &FolderListBox::Change, this, [this] { Dir1_Change(); });
  connect(File1_, &FileListBox::Click, this, [this] { File1_Click(); });
  connect(File1_, &FileListBox::DblClick, this, [this] { File1_DblClick(); });
}

void Vondrel::KeepSelectedOptionAsTabStop() {
  for (QRadioButton* option : optSelect_) {
    const Qt::FocusPolicy policy = option->isChecked() ? Qt::StrongFocus : Qt::ClickFocus;
    option->setFocusPolicy(policy);
  }
}

void Vondrel::Form_Load() {
  // No handling of its own: AppPath names an existing folder.
  Dir1_->SetPath(AppPath());
  Dir1_Change();
  instructions_box_->SetText(table::kInstructionsText);
}

void Vondrel::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (shown_before_) return;
  shown_before_ = true;
  // The focus starts on the first control in tab order that can take it.
  for (QWidget* control : TabOrder()) {
    if (control->isEnabled() && (control->focusPolicy() & Qt::TabFocus)) {
      control->setFocus(Qt::OtherFocusReason);
      break;
    }
  }
}

platform::PathText Vondrel::AppPath() { return location::WithoutTrailingBackslash(file_system_.ProgramFolder()); }

void Vondrel::Dir1_Change() { location::FollowFolderChange(browse_); }

void Vondrel::cmdFind_Click() { location::FindDefaultLocation(browse_); }

void Vondrel::optSelect_Click(int /*index*/) { Dir1_Change(); }

void Vondrel::File1_Click() { location::ShowClickedFile(browse_); }

void Vondrel::File1_DblClick() { location::ShowDoubleClickedFile(browse_); }

void Vondrel::cmdRepair_Click() {
  const repair::RepairOutcome outcome = repair_operation_.Run(path_box_->Text());
  ShowMessage(repair::MessageFor(outcome));
}

void Vondrel::ShowMessage(const repair::OutcomeMessage& message) {
  QMessageBox box(MessageBoxIcon(static_cast<int>(message.icon)), ToQString(message.title), WithLineFeeds(message.text),
                  QMessageBox::Ok, this);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

}  // namespace vondrel::window
