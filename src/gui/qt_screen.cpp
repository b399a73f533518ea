#include "gui/qt_screen.hpp"

#include <QAbstractButton>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

#include "app/message_box.hpp"
#include "gui/main_window.hpp"
#include "platform/messages.hpp"

namespace tavro::gui {
namespace {

struct BoxLook {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons = QMessageBox::Ok;
};

BoxLook LookOf(platform::MessageKind kind) {
  switch (kind) {
    case platform::kBoxWarning:
      return {QMessageBox::Warning, QMessageBox::Ok};
    case platform::kBoxError:
      return {QMessageBox::Critical, QMessageBox::Ok};
    case platform::kBoxYesNo:
      return {QMessageBox::Question, QMessageBox::Yes | QMessageBox::No};
    case platform::kBoxOkCancel:
      return {QMessageBox::Question, QMessageBox::Ok | QMessageBox::Cancel};
    default:
      return {QMessageBox::NoIcon, QMessageBox::Ok};
  }
}

// Boxes closed without a button (window manager) answer as their "do not
// go on" button would.
int ButtonCode(QMessageBox::StandardButton button, platform::MessageKind kind) {
  switch (button) {
    case QMessageBox::Ok:
      return platform::kButtonOk;
    case QMessageBox::Cancel:
      return platform::kButtonCancel;
    case QMessageBox::Yes:
      return platform::kButtonYes;
    case QMessageBox::No:
      return platform::kButtonNo;
    default:
      break;
  }
  if (kind == platform::kBoxYesNo)
    return platform::kButtonNo;
  if (kind == platform::kBoxOkCancel)
    return platform::kButtonCancel;
  return platform::kButtonOk;
}

void RelabelInEnglish(QMessageBox& box) {
  const std::pair<QMessageBox::StandardButton, const char*> captions[] = {
      {QMessageBox::Yes, "Yes"},     {QMessageBox::No, "No"},
      {QMessageBox::Ok, "Ok"},       {QMessageBox::Cancel, "Cancel"},
      {QMessageBox::Abort, "Abort"}, {QMessageBox::Ignore, "Ignore"},
      {QMessageBox::Retry, "Retry"},
  };
  for (const auto& [button, caption] : captions) {
    if (QAbstractButton* b = box.button(button))
      b->setText(QString::fromLatin1(caption));
  }
}

}  // namespace

QString DisplayText(const std::string& text) {
  QString out = QString::fromStdString(text);
  out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return out;
}

QString QtFileFilter(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
  QStringList entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString label = parts[i].trimmed();
    QString patterns = parts[i + 1].trimmed();
    if (label.isEmpty() && patterns.isEmpty())
      break;  // the "||" that ends the list
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    const QString suffix = QLatin1Char('(') + patterns + QLatin1Char(')');
    if (label.endsWith(suffix))
      entries << label;
    else if (label.isEmpty())
      entries << suffix;
    else
      entries << label + QLatin1Char(' ') + suffix;
  }
  return entries.join(QStringLiteral(";;"));
}

int QtScreen::ShowMessageBox(const platform::MessageBoxRequest& request) {
  if (!app::IsShownBoxKind(request.kind))
    return platform::kNoButton;
  if (answerer_)
    return answerer_(request);

  const BoxLook look = LookOf(request.kind);
  QMessageBox box(look.icon, QString::fromStdString(request.title), DisplayText(request.text),
                  look.buttons, &window_);
  // Texts may carry what a terminal reported: never read them as markup.
  box.setTextFormat(Qt::PlainText);
  if (request.englishButtons)
    RelabelInEnglish(box);
  box.exec();
  return ButtonCode(box.standardButton(box.clickedButton()), request.kind);
}

void QtScreen::ShowControls(const std::vector<platform::ControlChange>& changes) {
  for (const platform::ControlChange& change : changes)
    window_.ApplyControl(change.id, change.state);
}

void QtScreen::ShowNotice(const std::string& text) {
  window_.ShowNotice(text);
}

std::optional<std::string> QtScreen::ChooseFile(const std::string& filter) {
  const QString qtFilter = QtFileFilter(filter);
  if (chooser_)
    return chooser_(qtFilter);
  const QString path = QFileDialog::getOpenFileName(&window_, QString(), QString(), qtFilter);
  if (path.isEmpty())
    return std::nullopt;
  return path.toStdString();
}

std::optional<std::string> QtScreen::ChooseFolder(const std::string& start) {
  const QString from = QString::fromStdString(start);
  if (folderChooser_)
    return folderChooser_(from);
  const QString path = QFileDialog::getExistingDirectory(&window_, QString(), from);
  if (path.isEmpty())
    return std::nullopt;
  return path.toStdString();
}

}  // namespace tavro::gui
