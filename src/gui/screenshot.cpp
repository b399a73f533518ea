#include "gui/screenshot.hpp"

#include <algorithm>

#include <QElapsedTimer>
#include <QPixmap>
#include <QTimer>
#include <iostream>
#include <memory>

#include "data/restore_point.hpp"
#include "gui/session.hpp"
#include "platform/control_ids.hpp"
#include "platform/messages.hpp"

namespace tavro::gui {
namespace {

constexpr int kPollMs = 50;
// Lets the last drawing settle (layout, scroll position) before the grab.
constexpr int kSettleMs = 300;

// A download or an upgrade is shown finished: its questions are answered with "go on".
int GoOn(platform::MessageKind kind) {
  return kind == platform::kBoxYesNo ? platform::kButtonYes : platform::kButtonOk;
}

int DoNotGoOn(platform::MessageKind kind) {
  if (kind == platform::kBoxYesNo)
    return platform::kButtonNo;
  if (kind == platform::kBoxOkCancel)
    return platform::kButtonCancel;
  return platform::kButtonOk;
}

void Grab(Session& session, const QString& path, const std::function<void(bool)>& done) {
  QTimer::singleShot(kSettleMs, &session.window(), [&session, path, done] {
    const QPixmap picture = session.window().grab();
    const bool written = !picture.isNull() && picture.save(path, "PNG");
    if (!written)
      std::cerr << "tavro: cannot write " << path.toStdString() << '\n';
    done(written);
  });
}

}  // namespace

namespace {

// Presses the buttons one after the other, then grabs the window.
void PressThenGrab(Session& session, const QString& path, std::vector<int> buttons, int limitMs,
                   std::function<void(bool)> done) {
  if (buttons.empty()) {
    Grab(session, path, done);
    return;
  }
  // Each operation runs on the event loop; it is over when the window has
  // enabled its button again.
  const int button = buttons.front();
  buttons.erase(buttons.begin());
  session.model().OnButton(button);
  auto* poll = new QTimer(&session.window());
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  QObject::connect(
      poll, &QTimer::timeout, &session.window(),
      [&session, path, done, poll, clock, limitMs, button, buttons] {
        // A menu entry is no control: the window's own button
        // says when it is idle again.
        const bool idle = session.model().controls().Get(platform::kDeviceInfoButton).enabled;
        if (!idle && clock->elapsed() < limitMs)
          return;
        poll->stop();
        poll->deleteLater();
        if (!idle) {
          std::cerr << "tavro: the operation of button " << button << " did not finish in time\n";
          Grab(session, path, done);
          return;
        }
        PressThenGrab(session, path, buttons, limitMs, done);
      });
  poll->start(kPollMs);
}

}  // namespace

void TakeScreenshot(Session& session, const QString& path, std::vector<int> buttons, int limitMs,
                    std::function<void(bool)> done) {
  const bool downloads =
      std::find(buttons.begin(), buttons.end(), platform::kDownloadButton) != buttons.end() ||
      std::find(buttons.begin(), buttons.end(), platform::kUpgradeButton) != buttons.end();
  // Restore takes the oldest backup: the one made before the upgrade.
  session.screen().SetFolderChooser([&session](const QString&) -> std::optional<std::string> {
    const std::vector<data::RestorePoint> points =
        data::ListRestorePoints(session.model().context().programDir);
    if (points.empty())
      return std::nullopt;
    return points.back().dataFolder;
  });
  session.screen().SetBoxAnswerer([downloads](const platform::MessageBoxRequest& request) {
    std::cerr << "tavro: [" << request.title << "] " << request.text << '\n';
    return downloads ? GoOn(request.kind) : DoNotGoOn(request.kind);
  });
  PressThenGrab(session, path, std::move(buttons), limitMs, std::move(done));
}

}  // namespace tavro::gui
