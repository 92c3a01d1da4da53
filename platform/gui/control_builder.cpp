#include "platform/gui/control_builder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <vector>

#include "platform/gui/icons.h"
#include "platform/gui/edit_limit.h"
#include "platform/gui/list_view.h"
#include "platform/gui/list_view_wiring.h"
#include "platform/gui/qt_text.h"
#include "platform/gui/spin_edit.h"
#include "platform/gui/wnd.h"

namespace zfw {

struct ControlBuilder::Impl {
  Wnd& owner;
  // The open containers: the window, then nested group boxes. Each has a column of rows.
  struct Level {
    QWidget* widget;
    QVBoxLayout* rows;
    QHBoxLayout* current = nullptr;
  };
  std::vector<Level> levels;

  QHBoxLayout* currentRow() {
    Level& level = levels.back();
    if (!level.current) {
      level.current = new QHBoxLayout();
      level.rows->addLayout(level.current);
    }
    return level.current;
  }
  QWidget* parent() const { return levels.back().widget; }
};

static QVBoxLayout* columnOf(QWidget* w) {
  auto* layout = qobject_cast<QVBoxLayout*>(w->layout());
  if (!layout) layout = new QVBoxLayout(w);
  return layout;
}

ControlBuilder::ControlBuilder(Wnd& owner, QWidget* container) : d_(new Impl{owner, {}}) {
  d_->levels.push_back({container, columnOf(container)});
}

ControlBuilder::~ControlBuilder() {
  while (d_->levels.size() > 1) endGroup();
  d_->levels.front().rows->addStretch(1);  // controls keep to the top
}

ControlBuilder& ControlBuilder::add(int id, QWidget* control) {
  d_->currentRow()->addWidget(control);
  if (id > 0) d_->owner.addControl(id, control);
  return *this;
}

ControlBuilder& ControlBuilder::text(int id, std::string_view text) {
  auto* label = new QLabel(d_->parent());
  label->setWordWrap(text.find('\n') != std::string_view::npos);
  add(id, label);
  setWidgetText(label, text);
  return *this;
}

ControlBuilder& ControlBuilder::edit(int id, int maxChars, unsigned style) {
  auto* e = new QLineEdit(d_->parent());
  if (style & ES_PASSWORD) e->setEchoMode(QLineEdit::Password);
  if (style & ES_READONLY) e->setReadOnly(true);
  if (style & ES_NUMBER) {
    e->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), e));
  }
  if (maxChars > 0) limitEditBytes(e, maxChars);
  return add(id, e);
}

ControlBuilder& ControlBuilder::combo(int id) {
  auto* c = new QComboBox(d_->parent());
  c->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  return add(id, c);
}

ControlBuilder& ControlBuilder::button(int id, std::string_view text, bool isDefault) {
  auto* b = new QPushButton(toQString(text), d_->parent());
  b->setAutoDefault(false);
  b->setDefault(isDefault);
  return add(id, b);
}

ControlBuilder& ControlBuilder::check(int id, std::string_view text) {
  return add(id, new QCheckBox(toQString(text), d_->parent()));
}

ControlBuilder& ControlBuilder::radio(int id, std::string_view text, int group) {
  auto* r = new QRadioButton(toQString(text), d_->parent());
  r->setAutoExclusive(false);  // the window keeps groups exclusive, and lets all be clear
  r->setProperty("zfwRadioGroup", group);
  return add(id, r);
}

ControlBuilder& ControlBuilder::list(int id, unsigned extendedStyle) {
  auto* l = new QTreeWidget(d_->parent());
  setUpListView(l);
  add(id, l);
  ListView(l).setExtendedStyle(extendedStyle);
  return *this;
}

ControlBuilder& ControlBuilder::spin(int editId, int spinId, int low, int high) {
  edit(editId, 0, ES_NUMBER);
  QWidget* buddy = d_->currentRow()->itemAt(d_->currentRow()->count() - 1)->widget();
  auto* spin = new QWidget(d_->parent());
  auto* arrows = new QVBoxLayout(spin);
  arrows->setContentsMargins(0, 0, 0, 0);
  arrows->setSpacing(0);
  auto* up = new QToolButton(spin);
  auto* down = new QToolButton(spin);
  up->setArrowType(Qt::UpArrow);
  down->setArrowType(Qt::DownArrow);
  up->setFixedSize(16, 11);
  down->setFixedSize(16, 11);
  arrows->addWidget(up);
  arrows->addWidget(down);
  spin->setProperty("zfwSpinBuddy", QVariant::fromValue<QWidget*>(buddy));
  QObject::connect(up, &QToolButton::clicked, spin, [spin] { SpinEdit(spin).step(+1); });
  QObject::connect(down, &QToolButton::clicked, spin, [spin] { SpinEdit(spin).step(-1); });
  add(spinId, spin);
  SpinEdit(spin).setRange(low, high);
  return *this;
}

ControlBuilder& ControlBuilder::progress(int id) {
  auto* p = new QProgressBar(d_->parent());
  p->setTextVisible(false);
  p->setRange(0, 100);
  p->setValue(0);
  return add(id, p);
}

ControlBuilder& ControlBuilder::icon(int id, int iconId, int size) {
  auto* label = new QLabel(d_->parent());
  label->setFixedSize(size, size);
  label->setAlignment(Qt::AlignCenter);
  add(id, label);
  setStaticIcon(label, iconId);
  return *this;
}

ControlBuilder& ControlBuilder::placeholder(int id, int width, int height) {
  auto* f = new QFrame(d_->parent());
  f->setFixedSize(width, height);
  return add(id, f);
}

ControlBuilder& ControlBuilder::custom(int id, QWidget* control) {
  control->setParent(d_->parent());
  return add(id, control);
}

ControlBuilder& ControlBuilder::row() {
  d_->levels.back().current = nullptr;
  return *this;
}

ControlBuilder& ControlBuilder::stretch() {
  d_->currentRow()->addStretch(1);
  return *this;
}

ControlBuilder& ControlBuilder::beginGroup(int id, std::string_view title) {
  auto* group = new QGroupBox(toQString(title), d_->parent());
  add(id, group);
  d_->levels.push_back({group, columnOf(group)});
  return *this;
}

ControlBuilder& ControlBuilder::endGroup() {
  if (d_->levels.size() > 1) d_->levels.pop_back();
  return *this;
}

}  // namespace zfw
