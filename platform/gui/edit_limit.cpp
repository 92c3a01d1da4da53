#include "platform/gui/edit_limit.h"

#include <QLineEdit>
#include <QValidator>

namespace zfw {
namespace {

constexpr int kNoLimit = 32767;  // an edit's own longest text

// Sees every change of the text, the program's too: a change the user makes may not take the
// text beyond the limit, unless it shortens a longer one the program put there.
class Utf8LengthValidator final : public QValidator {
 public:
  Utf8LengthValidator(QLineEdit* edit, int maxBytes) : QValidator(edit), maxBytes_(maxBytes) {}

  State validate(QString& input, int&) const override {
    const qsizetype bytes = input.toUtf8().size();
    if (bytes > maxBytes_ && bytes > lastBytes_) return Invalid;  // the change is undone
    lastBytes_ = bytes;
    return bytes <= maxBytes_ ? Acceptable : Intermediate;
  }
  void programText(const QString& text) const { lastBytes_ = text.toUtf8().size(); }

 private:
  int maxBytes_;
  mutable qsizetype lastBytes_ = 0;
};

}  // namespace

void limitEditBytes(QLineEdit* edit, int maxBytes) {
  if (!edit) return;
  // Never fewer characters than bytes: the character limit only cuts texts the program sets.
  edit->setMaxLength(maxBytes > 0 ? maxBytes : kNoLimit);
  const QValidator* current = edit->validator();
  const bool ours = dynamic_cast<const Utf8LengthValidator*>(current) != nullptr;
  if (current && !ours) return;  // a digits-only edit: its characters are single bytes
  auto* validator = maxBytes > 0 ? new Utf8LengthValidator(edit, maxBytes) : nullptr;
  if (validator) validator->programText(edit->text());
  edit->setValidator(validator);
  if (ours) delete current;
}

void setEditText(QLineEdit* edit, const QString& text) {
  if (auto* validator = dynamic_cast<const Utf8LengthValidator*>(edit->validator())) validator->programText(text);
  edit->setText(text);
}

}  // namespace zfw
