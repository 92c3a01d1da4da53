#include "platform/gui/qt_text.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVariant>
#include <QWidget>

#include "platform/gui/base/utf8.h"
#include "platform/gui/edit_limit.h"

namespace zfw {
namespace {
constexpr const char* kRawTextProperty = "zfwText";
}

QString toQString(std::string_view s) {
  if (isUtf8(s)) return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
  QString text;
  for (size_t at = 0; at < s.size();) {
    const size_t n = utf8SequenceLength(s, at);
    if (n == 0) {
      text += QChar(static_cast<unsigned char>(s[at]));
      ++at;
    } else {
      text += QString::fromUtf8(s.data() + at, static_cast<qsizetype>(n));
      at += n;
    }
  }
  return text;
}

void setWidgetText(QWidget* w, std::string_view text) {
  const QString t = toQString(text);
  if (auto* label = qobject_cast<QLabel*>(w)) {
    // Texts keep their "\r\n" line ends for readers; the label shows plain lines.
    label->setTextFormat(Qt::PlainText);
    label->setProperty(kRawTextProperty, t);
    label->setText(QString(t).remove(QLatin1Char('\r')));
  } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    button->setText(t);
  } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    setEditText(edit, t);
  } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
    group->setTitle(t);
  } else if (qobject_cast<QComboBox*>(w)) {
    // A drop-down list has no free text; its items are set through ComboBox.
  } else {
    w->setWindowTitle(t);
  }
}

std::string widgetText(const QWidget* w) {
  if (auto* label = qobject_cast<const QLabel*>(w)) {
    const QVariant raw = label->property(kRawTextProperty);
    return fromQString(raw.isValid() ? raw.toString() : label->text());
  }
  if (auto* button = qobject_cast<const QAbstractButton*>(w)) return fromQString(button->text());
  if (auto* edit = qobject_cast<const QLineEdit*>(w)) return fromQString(edit->text());
  if (auto* group = qobject_cast<const QGroupBox*>(w)) return fromQString(group->title());
  if (auto* combo = qobject_cast<const QComboBox*>(w)) return fromQString(combo->currentText());
  return fromQString(w->windowTitle());
}

}  // namespace zfw
