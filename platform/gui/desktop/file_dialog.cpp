#include "platform/gui/desktop/file_dialog.h"

#include <QFileDialog>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/gui/message_box.h"
#include "platform/gui/qt_text.h"
#include "platform/gui/wnd.h"

namespace zfw {

std::vector<std::string> QtFileDialog::nameFilters(const std::string& windowsFilter) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= windowsFilter.size()) {
    const size_t bar = windowsFilter.find('|', start);
    parts.push_back(windowsFilter.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  std::vector<std::string> filters;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    const std::string& text = parts[i];
    std::string patterns = parts[i + 1];
    if (text.empty() || patterns.empty()) break;  // "||" ends the list
    for (char& c : patterns) {
      if (c == ';') c = ' ';
    }
    const std::string wrapped = "(" + patterns + ")";
    filters.push_back(text.find(wrapped) != std::string::npos ? text : text + " " + wrapped);
  }
  return filters;
}

std::string QtFileDialog::withDefaultExt(const std::string& path, const std::string& ext) {
  if (ext.empty()) return path;
  const size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return name.find('.') == std::string::npos ? path + "." + ext : path;
}

std::string QtFileDialog::refusal(const std::string& path, unsigned flags) {
  // Read-only as the file says so (no write permission for anyone), or for this user;
  // root may write anything, but a file marked read-only stays refused.
  struct stat st = {};
  const bool exists = stat(path.c_str(), &st) == 0;
  if ((flags & OFN_NOREADONLYRETURN) && exists && ((st.st_mode & 0222) == 0 || access(path.c_str(), W_OK) != 0)) {
    return path + "\nThis file is set to read-only.\nTry again with a different file name.";
  }
  return {};
}

static QFileDialog* makeDialog(Wnd* owner, const FileDialogSpec& spec) {
  auto* dialog = new QFileDialog(owner && owner->widget() ? owner->widget()->window() : nullptr);
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  QStringList filters;
  for (const std::string& f : QtFileDialog::nameFilters(spec.filter)) filters << toQString(f);
  if (!filters.isEmpty()) dialog->setNameFilters(filters);
  dialog->setDefaultSuffix(toQString(spec.defaultExt));
  if (!spec.initialPath.empty()) dialog->selectFile(toQString(spec.initialPath));
  return dialog;
}

std::optional<std::string> QtFileDialog::openFile(Wnd* owner, const FileDialogSpec& spec) {
  std::unique_ptr<QFileDialog> dialog(makeDialog(owner, spec));
  dialog->setAcceptMode(QFileDialog::AcceptOpen);
  dialog->setFileMode((spec.flags & OFN_FILEMUSTEXIST) ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return std::nullopt;
  return withDefaultExt(fromQString(dialog->selectedFiles().first()), spec.defaultExt);
}

std::optional<std::string> QtFileDialog::saveFile(Wnd* owner, const FileDialogSpec& spec) {
  std::unique_ptr<QFileDialog> dialog(makeDialog(owner, spec));
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setFileMode(QFileDialog::AnyFile);
  dialog->setOption(QFileDialog::DontConfirmOverwrite, (spec.flags & OFN_OVERWRITEPROMPT) == 0);
  for (;;) {
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return std::nullopt;
    const std::string path = withDefaultExt(fromQString(dialog->selectedFiles().first()), spec.defaultExt);
    const std::string reason = refusal(path, spec.flags);
    if (reason.empty()) return path;
    messageBox(owner, reason, "Save As", MB_OK | MB_ICONEXCLAMATION);
  }
}

}  // namespace zfw
