#include "window/vondrel.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QIcon>
#include <QMessageBox>
#include <QScreen>
#include <QSvgWidget>

#include "window/shape_box.h"
#include "window/system_colours.h"
#include "window/window_layout.h"

namespace vondrel::window {
namespace {

// The heading's font, or the nearest bold sans-serif of its size.
QFont HeadingFont() {
  QFont font;
  if (QFontDatabase::hasFamily(QString::fromLatin1(layout::kHeadingFontFamily))) {
    font.setFamily(QString::fromLatin1(layout::kHeadingFontFamily));
  } else {
    QFont sans(QStringLiteral("Sans Serif"));
    sans.setStyleHint(QFont::SansSerif);
    font.setFamily(QFontInfo(sans).family());
  }
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(layout::kHeadingFontPoints);
  font.setBold(true);
  return font;
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

Vondrel::Vondrel(platform::FileSystem& fileSystem, repair::RepairOperation& repairOperation, QWidget* parent)
    : QWidget(parent), fileSystem_(fileSystem), repairOperation_(repairOperation) {
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
  // Created from the bottom of the stacking order to the top: a later
  // sibling lies over an earlier one.
  Shape1_ = new ShapeBox(this);
  Image1_ = new QSvgWidget(QStringLiteral(":/vondrel/logo.svg"), this);
  Label4_ = new QLabel(QString::fromLatin1(layout::kHeadingCaption), this);
  cmdRepair_ = new QPushButton(QString::fromLatin1(layout::kRepairCaption), this);
  txtPath_ = new QPlainTextEdit(this);
  Dir1_ = new FolderListBox(fileSystem_, this);
  File1_ = new FileListBox(fileSystem_, this);
  Frame1_ = new QGroupBox(this);
  for (std::size_t index = 0; index < optSelect_.size(); ++index) {
    optSelect_[index] = new QRadioButton(ToQString(std::u16string(location::kProgramChoices[index].caption)), Frame1_);
  }
  cmdFind_ = new QPushButton(QString::fromLatin1(layout::kFindCaption), this);
  txtInstructions_ = new QPlainTextEdit(this);

  setObjectName(QStringLiteral("Vondrel"));
  Shape1_->setObjectName(QStringLiteral("Shape1"));
  Image1_->setObjectName(QStringLiteral("Image1"));
  Label4_->setObjectName(QStringLiteral("Label4"));
  cmdRepair_->setObjectName(QStringLiteral("cmdRepair"));
  txtPath_->setObjectName(QStringLiteral("txtPath"));
  Dir1_->setObjectName(QStringLiteral("Dir1"));
  File1_->setObjectName(QStringLiteral("File1"));
  Frame1_->setObjectName(QStringLiteral("Frame1"));
  for (std::size_t index = 0; index < optSelect_.size(); ++index) {
    optSelect_[index]->setObjectName(QStringLiteral("optSelect%1").arg(index));
  }
  cmdFind_->setObjectName(QStringLiteral("cmdFind"));
  txtInstructions_->setObjectName(QStringLiteral("txtInstructions"));

  for (QRadioButton* option : optSelect_) optionAdapters_.push_back(std::make_unique<OptionButtonAdapter>(*option));
  pathBox_ = std::make_unique<TextBoxAdapter>(*txtPath_);
  instructionsBox_ = std::make_unique<TextBoxAdapter>(*txtInstructions_);
  repairButton_ = std::make_unique<CommandButtonAdapter>(*cmdRepair_);
  for (std::size_t index = 0; index < optSelect_.size(); ++index) browse_.optSelect[index] = optionAdapters_[index].get();
  browse_.Dir1 = Dir1_;
  browse_.File1 = File1_;
  browse_.txtPath = pathBox_.get();
  browse_.cmdRepair = repairButton_.get();
}

void Vondrel::ApplyLayout() {
  const QScreen* display = screen();
  const TwipsScale scale(display ? display->logicalDotsPerInch() : 96.0);
  setFixedSize(scale.ToPixels(layout::kClientWidth), scale.ToPixels(layout::kClientHeight));

  txtInstructions_->setGeometry(scale.ToPixels(layout::kInstructions));
  cmdFind_->setGeometry(scale.ToPixels(layout::kFind));
  Frame1_->setGeometry(scale.ToPixels(layout::kFrame));
  for (std::size_t index = 0; index < optSelect_.size(); ++index) {
    optSelect_[index]->setGeometry(scale.ToPixels(layout::kOptions[index]));
  }
  File1_->setGeometry(scale.ToPixels(layout::kFileList));
  Dir1_->setGeometry(scale.ToPixels(layout::kFolderList));
  txtPath_->setGeometry(scale.ToPixels(layout::kPath));
  cmdRepair_->setGeometry(scale.ToPixels(layout::kRepair));
  Label4_->setGeometry(scale.ToPixels(layout::kHeading));
  Image1_->setGeometry(scale.ToPixels(layout::kLogo));
  Shape1_->setGeometry(scale.ToPixels(layout::kPanel));

  if (display) {
    const QRect available = display->availableGeometry();
    move(available.center() - QPoint(width() / 2, height() / 2));
  }
}

void Vondrel::ApplyAppearance() {
  setWindowTitle(QString::fromLatin1(layout::kCaption));
  // A fixed dialog border: no resizing, no minimise or maximise button, the
  // close button kept.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  QIcon icon;
  icon.addFile(QStringLiteral(":/vondrel/icon-16.png"), QSize(16, 16));
  icon.addFile(QStringLiteral(":/vondrel/icon-32.png"), QSize(32, 32));
  setWindowIcon(icon);

  const QColor panelColour = InactiveTitleBarColour();
  QPalette windowPalette = palette();
  windowPalette.setColor(QPalette::Window, panelColour);
  windowPalette.setColor(QPalette::WindowText, Qt::black);
  setPalette(windowPalette);
  setAutoFillBackground(true);
  Frame1_->setAutoFillBackground(true);
  for (QRadioButton* option : optSelect_) {
    // Buttons fill with the button colour unless told otherwise.
    option->setBackgroundRole(QPalette::Window);
    option->setAutoFillBackground(true);
  }

  QPalette pathPalette = txtPath_->palette();
  pathPalette.setColor(QPalette::Base, panelColour);
  pathPalette.setColor(QPalette::Text, Qt::black);
  txtPath_->setPalette(pathPalette);

  Label4_->setAlignment(Qt::AlignCenter);
  Label4_->setFont(HeadingFont());

  for (QPlainTextEdit* box : {txtPath_, txtInstructions_}) {
    box->setReadOnly(true);
    box->setTabChangesFocus(true);
    box->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  }
  txtPath_->setFocusPolicy(Qt::StrongFocus);
  // Not a tab stop: the mouse can still put the focus there to select text.
  txtInstructions_->setFocusPolicy(Qt::ClickFocus);

  optSelect_[0]->setChecked(true);
  for (QWidget* passive : std::initializer_list<QWidget*>{Shape1_, Image1_, Label4_, Frame1_}) {
    passive->setFocusPolicy(Qt::NoFocus);
  }
}

void Vondrel::ApplyTabOrder() {
  const std::vector<QWidget*> order = TabOrder();
  for (std::size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

std::vector<QWidget*> Vondrel::TabOrder() const {
  return {cmdRepair_, txtPath_, Dir1_, File1_, optSelect_[0], optSelect_[1], optSelect_[2], cmdFind_};
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
  instructionsBox_->SetText(layout::kInstructionsText);
}

void Vondrel::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (shownBefore_) return;
  shownBefore_ = true;
  // The focus starts on the first control in tab order that can take it.
  for (QWidget* control : TabOrder()) {
    if (control->isEnabled() && (control->focusPolicy() & Qt::TabFocus)) {
      control->setFocus(Qt::OtherFocusReason);
      break;
    }
  }
}

platform::PathText Vondrel::AppPath() { return location::WithoutTrailingBackslash(fileSystem_.ProgramFolder()); }

void Vondrel::Dir1_Change() { location::FollowFolderChange(browse_); }

void Vondrel::cmdFind_Click() { location::FindDefaultLocation(browse_); }

void Vondrel::optSelect_Click(int /*index*/) { Dir1_Change(); }

void Vondrel::File1_Click() { location::ShowClickedFile(browse_); }

void Vondrel::File1_DblClick() { location::ShowDoubleClickedFile(browse_); }

void Vondrel::cmdRepair_Click() {
  const repair::RepairOutcome outcome = repairOperation_.Run(pathBox_->Text());
  ShowMessage(repair::MessageFor(outcome));
}

void Vondrel::ShowMessage(const repair::OutcomeMessage& message) {
  QMessageBox box(MessageBoxIcon(static_cast<int>(message.icon)), ToQString(message.title), WithLineFeeds(message.text),
                  QMessageBox::Ok, this);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

}  // namespace vondrel::window
