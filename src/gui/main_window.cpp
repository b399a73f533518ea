#include "gui/main_window.hpp"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStringList>
#include <QVBoxLayout>

#include "app/ctavro_dlg.hpp"
#include "app/startup_labels.hpp"
#include "gui/drop_down_combo.hpp"
#include "gui/icons.hpp"
#include "gui/qt_screen.hpp"
#include "operations/registry.hpp"
#include "platform/control_ids.hpp"
#include "platform/control_table.hpp"

namespace tavro::gui {
namespace {

constexpr int kStateIconSize = 24;
constexpr int kOperationButtonHeight = 40;

QStringList ToStringList(const std::vector<std::string>& items) {
  QStringList out;
  out.reserve(static_cast<qsizetype>(items.size()));
  for (const std::string& item : items)
    out << QString::fromStdString(item);
  return out;
}

void ApplyCombo(QComboBox* combo, const platform::ControlState& state) {
  const QSignalBlocker block(combo);
  const QStringList items = ToStringList(state.items);
  QStringList shown;
  for (int i = 0; i < combo->count(); ++i)
    shown << combo->itemText(i);
  if (shown != items) {
    combo->clear();
    combo->addItems(items);
  }
  combo->setCurrentIndex(state.selected);
}

void ApplyProgress(QProgressBar* bar, const platform::ControlState& state) {
  // Equal bounds would turn the bar into a busy indicator.
  const int max = state.rangeMax > state.rangeMin ? state.rangeMax : state.rangeMin + 1;
  bar->setRange(state.rangeMin, max);
  bar->setValue(std::clamp(state.pos, state.rangeMin, max));
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle(QStringLiteral("TAVRO"));
  setWindowIcon(AppIcon());

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(12, 10, 12, 12);
  layout->setSpacing(10);
  layout->addWidget(BuildBasicSettings());
  layout->addWidget(BuildFunctions());
  layout->addWidget(BuildInformation(), 1);
  layout->addWidget(BuildDeveloperPanel());
  setCentralWidget(central);
  BuildMenu();
  resize(640, 500);
}

MainWindow::~MainWindow() = default;

QWidget* MainWindow::BuildBasicSettings() {
  auto* group = new QGroupBox(QStringLiteral("Basic settings"));
  Register(platform::kBasicSettingsGroup, group);
  auto* row = new QHBoxLayout(group);
  row->setSpacing(8);

  row->addWidget(AddLabel(platform::kPortNumberLabel, QStringLiteral("Port number")));
  auto* ports = new DropDownCombo;
  ports->setMinimumWidth(110);
  Register(platform::kPortList, ports);
  row->addWidget(ports);
  row->addSpacing(16);

  row->addWidget(AddLabel(platform::kPortSwitchLabel, QStringLiteral("Port switch")));
  auto* portButton = new QPushButton(QStringLiteral("Open Port"));
  portButton->setMinimumWidth(100);
  Register(platform::kPortButton, portButton);
  row->addWidget(portButton);
  row->addStretch(1);

  for (const auto& [labelId, pictureId, text] :
       {std::tuple{platform::kPortStatusLabel, platform::kPortStatusIcon, "Port\nstatus"},
        std::tuple{platform::kConnectionStatusLabel, platform::kConnectionStatusIcon,
                   "Connection\nstatus"}}) {
    QLabel* label = AddLabel(labelId, QString::fromLatin1(text));
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    row->addWidget(label);
    row->addWidget(AddPicture(pictureId));
    row->addSpacing(6);
  }
  return group;
}

QWidget* MainWindow::BuildFunctions() {
  auto* group = new QGroupBox(QStringLiteral("Functions"));
  Register(platform::kFunctionGroup, group);
  auto* line = new QHBoxLayout(group);
  line->setSpacing(10);
  for (const operations::OperationRow& row : operations::OperationRows()) {
    if (row.placement != operations::Placement::kButton)
      continue;
    auto* button = new QPushButton(QString::fromUtf8(row.defaultCaption));
    button->setMinimumHeight(kOperationButtonHeight);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    Register(row.controlId, button);
    line->addWidget(button);
  }
  return group;
}

QWidget* MainWindow::BuildInformation() {
  auto* group = new QGroupBox(QStringLiteral("Information"));
  Register(platform::kInfoGroup, group);
  auto* column = new QVBoxLayout(group);
  column->setSpacing(8);

  QLabel* warning = AddLabel(platform::kWarningText, QString());
  warning->setWordWrap(true);
  // Red on the group's own background.
  warning->setStyleSheet(QStringLiteral("color: rgb(255, 0, 0); background: transparent;"));
  QFont bold = warning->font();
  bold.setBold(true);
  warning->setFont(bold);
  column->addWidget(warning);

  QLabel* info = AddLabel(platform::kInfoText, QString());
  info->setWordWrap(true);
  info->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  info->setTextInteractionFlags(Qt::TextSelectableByMouse);
  info->setMargin(6);
  infoScroll_ = new QScrollArea;
  infoScroll_->setWidget(info);
  infoScroll_->setWidgetResizable(true);
  infoScroll_->setBackgroundRole(QPalette::Base);
  infoScroll_->setMinimumHeight(180);
  column->addWidget(infoScroll_, 1);

  auto* notes = new QHBoxLayout;
  notes->addWidget(AddLabel(platform::kProgressNote, QString()));
  notes->addStretch(1);
  // Not a dialog control: the running transfer's bytes, rate and time left.
  transferLine_ = new QLabel;
  transferLine_->setObjectName(QStringLiteral("transferLine"));
  notes->addWidget(transferLine_);
  column->addLayout(notes);
  auto* bar = new QProgressBar;
  bar->setTextVisible(false);
  bar->setRange(0, 100);
  bar->setValue(0);
  Register(platform::kProgressBar, bar);
  column->addWidget(bar);
  return group;
}

// The developer panel: every remaining control of the window, created hidden
// with its start state; the panel itself is never shown.
QWidget* MainWindow::BuildDeveloperPanel() {
  auto* panel = new QWidget;
  panel->setObjectName(QStringLiteral("developerPanel"));
  auto* grid = new QGridLayout(panel);
  int n = 0;
  for (const platform::ControlChange& control : platform::MakeMainWindowControls().All()) {
    if (control.id == platform::kWindowTitle || controls_.count(control.id) != 0)
      continue;
    if (QWidget* widget = AddHidden(control.id, control.state)) {
      grid->addWidget(widget, n / 4, n % 4);
      ++n;
    }
  }
  panel->hide();
  return panel;
}

QWidget* MainWindow::AddHidden(int id, const platform::ControlState& initial) {
  const QString text = QString::fromStdString(initial.text);
  QWidget* widget = nullptr;
  switch (initial.kind) {
    case platform::ControlKind::kGroupBox:
      widget = new QGroupBox(text);
      break;
    case platform::ControlKind::kLabel:
      widget = new QLabel(text);
      break;
    case platform::ControlKind::kPushButton:
      widget = new QPushButton(text);
      break;
    case platform::ControlKind::kDropDownList: {
      auto* combo = new DropDownCombo;
      ApplyCombo(combo, initial);
      widget = combo;
      break;
    }
    case platform::ControlKind::kEdit:
      if (id == platform::kTermText) {
        auto* term = new QPlainTextEdit(text);
        term->setReadOnly(true);
        widget = term;
      } else {
        widget = new QLineEdit(text);
      }
      break;
    case platform::ControlKind::kCheckBox:
      widget = new QCheckBox(text);
      break;
    case platform::ControlKind::kRadioButton: {
      auto* radio = new QRadioButton(text);
      radio->setAutoExclusive(false);  // the model keeps each one's state
      widget = radio;
      break;
    }
    case platform::ControlKind::kPicture:
      return AddPicture(id);
    case platform::ControlKind::kProgressBar:
      widget = new QProgressBar;
      break;
    case platform::ControlKind::kWindow:
      return nullptr;
  }
  widget->setVisible(initial.visible);
  widget->setEnabled(initial.enabled);
  Register(id, widget);
  return widget;
}

void MainWindow::BuildMenu() {
  // The window's own captions until the language's arrive with the title.
  tools_ = menuBar()->addMenu(QStringLiteral("&Tools"));
  buildPackage_ = tools_->addAction(QStringLiteral("&Build package description…"));
  connect(buildPackage_, &QAction::triggered, this, [this] {
    if (model_ != nullptr)
      model_->OnButton(platform::kIniToBinButton);
  });
  // The operations of the menu ask before anything is sent; they are
  // available while no operation runs.
  for (const operations::OperationRow& row : operations::OperationRows()) {
    if (row.placement != operations::Placement::kToolsMenu)
      continue;
    QAction* action = tools_->addAction(QString::fromUtf8(row.defaultCaption));
    const int id = row.controlId;
    connect(action, &QAction::triggered, this, [this, id] {
      if (model_ != nullptr)
        model_->OnButton(id);
    });
    operationActions_[id] = action;
  }
}

void MainWindow::ApplyMenuCaptions() {
  if (model_ == nullptr || !model_->language().HasLanguage())
    return;
  const app::MenuCaptions captions = app::MenuCaptionsOf(model_->language());
  tools_->setTitle(QString::fromStdString(captions.tools));
  buildPackage_->setText(QString::fromStdString(captions.buildPackage));
  for (const auto& [id, caption] : captions.operations) {
    if (const auto it = operationActions_.find(id); it != operationActions_.end())
      it->second->setText(QString::fromStdString(caption));
  }
}

void MainWindow::ShowTransferLine(const std::string& line) {
  transferLine_->setText(QString::fromStdString(line));
}

void MainWindow::ShowNotice(const std::string& text) {
  transferLine_->setText(DisplayText(text));
  transferLine_->repaint();
}

QLabel* MainWindow::AddLabel(int id, const QString& text) {
  auto* label = new QLabel(text);
  label->setTextFormat(Qt::PlainText);
  Register(id, label);
  return label;
}

QLabel* MainWindow::AddPicture(int id) {
  auto* picture = new QLabel;
  picture->setFixedSize(kStateIconSize + 4, kStateIconSize + 4);
  picture->setAlignment(Qt::AlignCenter);
  Register(id, picture);
  icons_[id] = platform::kIconNone;
  return picture;
}

void MainWindow::Register(int id, QWidget* widget) {
  widget->setObjectName(QStringLiteral("control%1").arg(id));
  controls_[id] = widget;
  Wire(id, widget);
}

void MainWindow::Wire(int id, QWidget* widget) {
  if (auto* combo = qobject_cast<DropDownCombo*>(widget)) {
    connect(combo, &QComboBox::activated, this, [this, id](int index) {
      if (model_ != nullptr)
        model_->OnSelect(id, index);
    });
    connect(combo, &DropDownCombo::aboutToShowPopup, this, [this, id] {
      if (model_ != nullptr)
        model_->OnDropDown(id);
    });
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    connect(button, &QAbstractButton::clicked, this, [this, id] {
      if (model_ != nullptr)
        model_->OnButton(id);
    });
  } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    connect(edit, &QLineEdit::textEdited, this, [this, id](const QString& text) {
      if (model_ != nullptr)
        model_->OnEditChanged(id, text.toStdString());
    });
  }
}

void MainWindow::Attach(app::CTAVRODlg& model) {
  model_ = &model;
}

QWidget* MainWindow::Control(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

int MainWindow::IconShown(int id) const {
  auto it = icons_.find(id);
  return it == icons_.end() ? platform::kIconNone : it->second;
}

void MainWindow::ShowIcon(int id, int icon) {
  auto* picture = qobject_cast<QLabel*>(Control(id));
  if (picture == nullptr || icons_[id] == icon)
    return;
  icons_[id] = icon;
  picture->setPixmap(StateIcon(icon, kStateIconSize));
}

void MainWindow::ApplyControl(int id, const platform::ControlState& state) {
  if (id == platform::kWindowTitle) {
    setWindowTitle(QString::fromStdString(state.text));
    // The title is captioned once the language is selected; so is the menu.
    ApplyMenuCaptions();
    return;
  }
  QWidget* widget = Control(id);
  if (widget == nullptr)
    return;
  widget->setEnabled(state.enabled);
  widget->setVisible(state.visible);
  if (id == platform::kIniToBinButton)
    buildPackage_->setEnabled(state.enabled);
  if (id == platform::kDeviceInfoButton) {
    for (const auto& [actionId, action] : operationActions_)
      action->setEnabled(state.enabled);
  }

  const QString text = DisplayText(state.text);
  if (icons_.count(id) != 0) {
    ShowIcon(id, state.icon);
  } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
    group->setTitle(text);
  } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
    ApplyCombo(combo, state);
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    button->setText(text);
    if (button->isCheckable()) {
      const QSignalBlocker block(button);
      button->setChecked(state.checked);
    }
  } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    if (edit->text() != text)
      edit->setText(text);
  } else if (auto* term = qobject_cast<QPlainTextEdit*>(widget)) {
    if (term->toPlainText() != text) {
      term->setPlainText(text);
      term->verticalScrollBar()->setValue(term->verticalScrollBar()->maximum());
    }
  } else if (auto* bar = qobject_cast<QProgressBar*>(widget)) {
    ApplyProgress(bar, state);
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(text);
    if (id == platform::kInfoText) {
      // The newest lines are at the end; the scroll range is known once the
      // label has been laid out anew.
      QMetaObject::invokeMethod(
          infoScroll_,
          [scroll = infoScroll_] {
            scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
          },
          Qt::QueuedConnection);
    }
  }
}

void MainWindow::Exit(int status) {
  ended_ = true;
  if (onExit_)
    onExit_(status);
  else
    QCoreApplication::exit(status);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!ended_ && model_ != nullptr && !model_->ConfirmClose()) {
    event->ignore();  // the operation goes on in the window
    return;
  }
  if (!ended_)
    Exit(model_ != nullptr ? model_->Close() : app::kCloseExitStatus);
  event->accept();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (model_ != nullptr)
        model_->OnEnter();
      event->accept();
      return;
    case Qt::Key_Escape:
      // Ends the run as a cancelled dialog does: no close routine.
      if (!ended_)
        Exit(kEscapeExitStatus);
      hide();
      event->accept();
      return;
    default:
      QMainWindow::keyPressEvent(event);
  }
}

}  // namespace tavro::gui
