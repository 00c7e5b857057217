#include "platform/forms/CompactIndicatorStyle.h"

#include <QCoreApplication>
#include <QPointer>
#include <QProxyStyle>

namespace platform {

namespace {

class CompactIndicatorStyle final : public QProxyStyle {
 public:
  int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
    const int value = QProxyStyle::pixelMetric(metric, option, widget);
    return metric == PM_CheckBoxLabelSpacing || metric == PM_RadioButtonLabelSpacing ? value / 2 : value;
  }
};

}  // namespace

QStyle* compactIndicatorStyle() {
  // The desktop's style as the base (a proxy without one makes its own);
  // kept until the application ends.
  static QPointer<QStyle> style;
  if (!style) {
    style = new CompactIndicatorStyle;
    style->setParent(QCoreApplication::instance());
  }
  return style;
}

}  // namespace platform
