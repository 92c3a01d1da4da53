#pragma once
// Text between the framework's UTF-8 strings and Qt widgets. Internal to platform/gui.
#include <QString>
#include <string>
#include <string_view>

class QWidget;

namespace zfw {

// A byte that is not part of UTF-8 (an SSID in another encoding) shows as the Latin-1
// character of that byte: distinct bytes stay distinct on the screen, as they would in a
// byte-string program, instead of all becoming replacement characters.
QString toQString(std::string_view s);
inline std::string fromQString(const QString& s) { return s.toUtf8().toStdString(); }

// The text a control shows: a label's, a button's, an edit's, a group box's title, a
// combo box's current item; anything else: its window title.
void setWidgetText(QWidget* w, std::string_view text);
std::string widgetText(const QWidget* w);

}  // namespace zfw
