#pragma once
// Text between the framework's UTF-8 strings and Qt widgets. Internal to platform/gui.
#include <QString>
#include <string>
#include <string_view>

class QWidget;

namespace zfw {

inline QString toQString(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
inline std::string fromQString(const QString& s) { return s.toUtf8().toStdString(); }

// The text a control shows: a label's, a button's, an edit's, a group box's title, a
// combo box's current item; anything else: its window title.
void setWidgetText(QWidget* w, std::string_view text);
std::string widgetText(const QWidget* w);

}  // namespace zfw
