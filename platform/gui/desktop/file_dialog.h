#pragma once
// Open and save file dialogs, with the Windows filter text and flags.
#include <optional>
#include <string>
#include <vector>

namespace zfw {

class Wnd;

enum : unsigned {
  OFN_OVERWRITEPROMPT = 0x2,
  OFN_HIDEREADONLY = 0x4,
  OFN_PATHMUSTEXIST = 0x800,
  OFN_FILEMUSTEXIST = 0x1000,
  OFN_NOREADONLYRETURN = 0x8000,
};

struct FileDialogSpec {
  std::string defaultExt;  // "cfg": added to a name typed without one
  std::string filter;      // "cfg Files (*.cfg)|*.cfg||"
  unsigned flags = 0;
  std::string initialPath;
};

class IFileDialog {
 public:
  virtual ~IFileDialog() = default;
  // The chosen path, or nothing when cancelled.
  virtual std::optional<std::string> openFile(Wnd* owner, const FileDialogSpec& spec) = 0;
  virtual std::optional<std::string> saveFile(Wnd* owner, const FileDialogSpec& spec) = 0;
};

class QtFileDialog final : public IFileDialog {
 public:
  std::optional<std::string> openFile(Wnd* owner, const FileDialogSpec& spec) override;
  std::optional<std::string> saveFile(Wnd* owner, const FileDialogSpec& spec) override;

  // "text|patterns|text|patterns||" as Qt name filters: "text (patterns)" each.
  static std::vector<std::string> nameFilters(const std::string& windowsFilter);
  // Adds ".ext" to a path whose file name has no extension.
  static std::string withDefaultExt(const std::string& path, const std::string& ext);
  // Why a save target must be refused under `flags` ("" when it may be used).
  static std::string refusal(const std::string& path, unsigned flags);
};

}  // namespace zfw
