#include "gui/icons.hpp"

#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>

#include "platform/control_state.hpp"

// The resource file is compiled into a static library: its registration has
// to be pulled in by name.
static void InitTavroResources() {
  Q_INIT_RESOURCE(tavro);
}

namespace tavro::gui {
namespace {

QPixmap Render(const QString& resource, int size) {
  InitTavroResources();
  const qreal ratio = qGuiApp != nullptr ? qGuiApp->devicePixelRatio() : 1.0;
  QPixmap pixmap(QSize(size, size) * ratio);
  pixmap.fill(Qt::transparent);
  QSvgRenderer renderer(resource);
  QPainter painter(&pixmap);
  renderer.render(&painter);
  painter.end();
  pixmap.setDevicePixelRatio(ratio);
  return pixmap;
}

}  // namespace

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256})
    icon.addPixmap(Render(QStringLiteral(":/tavro/tavro.svg"), size));
  return icon;
}

QPixmap StateIcon(int icon, int size) {
  switch (icon) {
    case platform::kIconOn:
      return Render(QStringLiteral(":/tavro/state_on.svg"), size);
    case platform::kIconOff:
      return Render(QStringLiteral(":/tavro/state_off.svg"), size);
    default:
      return {};
  }
}

}  // namespace tavro::gui
