#include "platform/gui/property_sheet.h"

#include <QApplication>
#include <algorithm>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QCheckBox>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "platform/gui/base/string_table.h"
#include "platform/gui/control_builder.h"
#include "platform/gui/cross_thread.h"
#include "platform/gui/icons.h"
#include "platform/gui/property_page.h"
#include "platform/gui/qt_text.h"
#include "platform/gui/top_level_widget.h"

namespace zfw {
namespace {

constexpr const char* kEdge = "zfwFooterEdge";
constexpr const char* kOffset = "zfwFooterOffset";
constexpr const char* kFromBottom = "zfwFooterFromBottom";

// Controls below the pages of a modeless sheet, placed by edge offsets as the window resizes.
class FooterWidget final : public QWidget {
 public:
  using QWidget::QWidget;
  void place() {
    for (QObject* child : children()) {
      auto* w = qobject_cast<QWidget*>(child);
      if (!w || !w->property(kEdge).isValid()) continue;
      const int offset = w->property(kOffset).toInt();
      const int x = w->property(kEdge).toInt() == static_cast<int>(PropertySheet::Edge::Left) ? offset : width() - offset;
      w->move(x, height() - w->property(kFromBottom).toInt());
    }
  }

 protected:
  void resizeEvent(QResizeEvent*) override { place(); }
};

// A label showing bitmap `id` at its own size, hidden until a page wants it.
QLabel* bitmapLabel(QWidget* parent, int id) {
  auto* label = new QLabel(parent);
  const QPixmap bitmap = bitmapFor(id);
  label->setPixmap(bitmap);
  label->setFixedSize(bitmap.size());
  label->hide();
  return label;
}

}  // namespace

struct PropertySheet::Impl {
  QPointer<QStackedWidget> stack;
  QPointer<QWidget> header;
  QPointer<QFrame> headerLine;
  QPointer<QLabel> headerCaption;
  QPointer<QLabel> headerTitle;
  QPointer<QLabel> headerBitmap;
  QPointer<QLabel> watermark;
  QPointer<QLabel> exteriorTitle;
  QPointer<FooterWidget> footer;
};

PropertySheet::PropertySheet(std::string_view caption, Wnd* parent, int startPage)
    : caption_(caption), parent_(parent), startPage_(startPage), tabs_(std::make_unique<TabControl>()),
      d_(std::make_unique<Impl>()) {}

PropertySheet::PropertySheet(int captionId, Wnd* parent, int startPage)
    : PropertySheet(loadString(static_cast<uint32_t>(captionId)), parent, startPage) {
  captionId_ = captionId;
}

PropertySheet::~PropertySheet() {
  destroyWindow();
  for (PropertyPage* p : pages_) p->sheet_ = nullptr;
}

// --- pages ------------------------------------------------------------------------------------

void PropertySheet::addPage(PropertyPage* page) {
  if (!page || page->sheet_ == this) return;
  if (page->sheet_) page->sheet_->removePage(page);
  pages_.push_back(page);
  page->sheet_ = this;
  if (!isCreated()) return;
  if (!wizard_) tabs_->insertItem(pageCount() - 1, page->caption());
  if (active_ < 0) activateForced(pageCount() - 1);
}

void PropertySheet::removePage(PropertyPage* page) {
  const int index = pageIndex(page);
  if (index >= 0) removePage(index);
}

void PropertySheet::removePage(int index) {
  if (index < 0 || index >= pageCount()) return;
  PropertyPage* page = pages_[index];
  const bool wasActive = index == active_;
  if (isCreated() && !wizard_) tabs_->deleteItem(index);
  pages_.erase(pages_.begin() + index);
  page->sheet_ = nullptr;
  if (QWidget* w = page->widget(); w && d_->stack) d_->stack->removeWidget(w);
  page->destroyWindow();
  if (index < active_) --active_;
  if (wasActive) {
    // The page on show went: its neighbour (the next, else the previous) takes its place.
    active_ = -1;
    if (isCreated() && pageCount() > 0) activateForced(std::min(index, pageCount() - 1));
  }
}

void PropertySheet::forgetPage(PropertyPage* page) {
  const int index = pageIndex(page);
  if (index < 0) return;
  if (index == active_) active_ = -1;  // no neighbour is shown: the owner is tearing down
  removePage(index);
}

int PropertySheet::pageCount() const { return static_cast<int>(pages_.size()); }

PropertyPage* PropertySheet::page(int index) const {
  return index >= 0 && index < pageCount() ? pages_[index] : nullptr;
}

int PropertySheet::pageIndex(const PropertyPage* page) const {
  for (int i = 0; i < pageCount(); ++i) {
    if (pages_[i] == page) return i;
  }
  return -1;
}

PropertyPage* PropertySheet::activePage() const { return page(active_); }

int PropertySheet::activeIndex() const { return active_; }

bool PropertySheet::setActivePage(PropertyPage* page) { return setActivePage(pageIndex(page)); }

bool PropertySheet::setActivePage(int index) {
  if (index < 0 || index >= pageCount()) return false;
  if (!isCreated()) {
    startPage_ = index;
    return true;
  }
  if (PropertyPage* current = activePage(); current && !current->onKillActive()) return false;
  if (!wizard_) {
    // The tab control has the last word on where a selection lands (disabled tabs).
    const int before = tabs_->curSel();
    const int previous = tabs_->setCurSel(index);
    if (tabs_->curSel() < 0 || (previous < 0 && before >= 0)) return false;
    index = tabs_->curSel();
  }
  return showPage(index, 0);
}

// Shows `index` after the old page has agreed to go. A page that refuses to be shown is
// skipped in `direction` (wizard steps), or the old page stays.
bool PropertySheet::showPage(int index, int direction) {
  const int previous = active_;
  for (;;) {
    PropertyPage* page = pages_[index];
    if (!page->isCreated()) {
      auto* w = new QWidget(d_->stack);
      d_->stack->addWidget(w);
      page->createIn(w);
    }
    if (page->onSetActive()) break;
    index = direction != 0 ? index + direction : -1;
    if (index < 0 || index >= pageCount()) {
      if (!wizard_ && previous >= 0) tabs_->setCurSel(previous);
      return false;
    }
  }
  active_ = index;
  d_->stack->setCurrentWidget(pages_[index]->widget());
  if (!wizard_ && tabs_->curSel() != index) tabs_->setCurSel(index);
  pageCaptionChanged(pages_[index]);
  return true;
}

bool PropertySheet::activateForced(int index) { return showPage(index, 0); }

void PropertySheet::pageCaptionChanged(PropertyPage* page) {
  const int index = pageIndex(page);
  if (!isCreated() || index < 0) return;
  if (!wizard_) tabs_->setItemText(index, page->caption());
  if (wizard_ && index == active_ && d_->headerCaption) {
    d_->headerCaption->setText(toQString(page->caption()));
    d_->headerTitle->setText(toQString(page->headerTitle()));
    d_->exteriorTitle->setText(toQString(page->caption()));
    showWizardLook(*page);
  }
}

void PropertySheet::showWizardLook(const PropertyPage& page) {
  const bool exterior = page.hidesHeader();
  d_->header->setVisible(!exterior);
  d_->headerLine->setVisible(!exterior);
  d_->exteriorTitle->setVisible(exterior);
  if (d_->headerBitmap) d_->headerBitmap->setVisible(!exterior);
  if (d_->watermark) d_->watermark->setVisible(exterior);
}

void PropertySheet::setWizard97(int headerBitmapId, int watermarkBitmapId) {
  if (isCreated()) return;
  headerBitmap_ = headerBitmapId;
  watermarkBitmap_ = watermarkBitmapId;
}

int PropertySheet::wizardBitmapShown(WizardBitmap which, Rect* where) const {
  QLabel* label = which == WizardBitmap::Header ? d_->headerBitmap.data() : d_->watermark.data();
  QWidget* root = widget();
  if (!label || !root || !label->isVisibleTo(root)) return 0;
  if (where) {
    const QRect r(label->mapTo(root, QPoint(0, 0)), label->size());
    *where = Rect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
  }
  return which == WizardBitmap::Header ? headerBitmap_ : watermarkBitmap_;
}

void PropertySheet::pageModified() { updateButtons(); }

// --- the window -----------------------------------------------------------------------------

// The wizard's frame around its pages: the header (with its bitmap in the Wizard97 look) and
// the exterior pages' watermark and title. Returns the column the pages go in.
QVBoxLayout* PropertySheet::buildWizardFrame(QWidget* body, QVBoxLayout* column) {
  const bool look97 = headerBitmap_ != 0 || watermarkBitmap_ != 0;
  auto* upper = new QHBoxLayout();
  column->addLayout(upper, 1);
  if (watermarkBitmap_ != 0) {
    d_->watermark = bitmapLabel(body, watermarkBitmap_);
    upper->addWidget(d_->watermark, 0, Qt::AlignTop);
  }
  auto* pagesColumn = new QVBoxLayout();
  upper->addLayout(pagesColumn, 1);
  d_->header = new QWidget(body);
  auto* headerRow = new QHBoxLayout(d_->header);
  auto* lines = new QVBoxLayout();
  headerRow->addLayout(lines, 1);
  d_->headerCaption = new QLabel(d_->header);
  d_->headerTitle = new QLabel(d_->header);
  QFont bold = d_->headerCaption->font();
  bold.setBold(true);
  d_->headerCaption->setFont(bold);
  d_->headerCaption->setTextFormat(Qt::PlainText);
  d_->headerTitle->setTextFormat(Qt::PlainText);
  lines->addWidget(d_->headerCaption);
  lines->addWidget(d_->headerTitle);
  if (headerBitmap_ != 0) {
    d_->headerBitmap = bitmapLabel(d_->header, headerBitmap_);
    headerRow->addWidget(d_->headerBitmap, 0, Qt::AlignRight | Qt::AlignVCenter);
  }
  if (look97) {
    // Wizard97 headers are white, whatever the window's colour.
    QPalette white = d_->header->palette();
    white.setColor(QPalette::Window, white.color(QPalette::Base));
    d_->header->setPalette(white);
    d_->header->setAutoFillBackground(true);
  }
  pagesColumn->addWidget(d_->header);
  d_->headerLine = new QFrame(body);
  d_->headerLine->setFrameShape(QFrame::HLine);
  pagesColumn->addWidget(d_->headerLine);
  d_->exteriorTitle = new QLabel(body);
  QFont title = d_->exteriorTitle->font();
  title.setBold(true);
  if (title.pointSizeF() > 0) {
    title.setPointSizeF(title.pointSizeF() * 1.5);
  } else {
    title.setPixelSize(title.pixelSize() * 3 / 2);
  }
  d_->exteriorTitle->setFont(title);
  d_->exteriorTitle->setTextFormat(Qt::PlainText);
  d_->exteriorTitle->hide();
  pagesColumn->addWidget(d_->exteriorTitle);
  return pagesColumn;
}

void PropertySheet::buildWindow(QWidget* root) {
  attachWidget(root);
  root->setWindowTitle(toQString(caption_));
  // The footer spans the whole window; everything else sits in a margined body above it.
  auto* outer = new QVBoxLayout(root);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);
  auto* body = new QWidget(root);
  outer->addWidget(body, 1);
  auto* column = new QVBoxLayout(body);
  // Where the pages go: in a wizard, beside the watermark and below the header.
  QVBoxLayout* pagesColumn = column;
  if (wizard_) {
    pagesColumn = buildWizardFrame(body, column);
  } else {
    tabs_->create(body);
    tabs_->setOwner([this] { return !activePage() || activePage()->onKillActive(); },
                    [this](int index) {
                      if (index >= 0) showPage(index, 0);
                    });
    column->addWidget(tabs_->widget());
    for (int i = 0; i < pageCount(); ++i) tabs_->insertItem(i, pages_[i]->caption());
  }
  d_->stack = new QStackedWidget(body);
  if (!wizard_) d_->stack->setFrameShape(QFrame::StyledPanel);
  pagesColumn->addWidget(d_->stack, 1);
  if (mode_ == Mode::Modal || mode_ == Mode::Wizard) {
    auto* buttons = new QWidget(body);
    column->addWidget(buttons);
    ControlBuilder b(*this, buttons);
    b.stretch();
    if (wizard_) {
      b.button(ID_WIZBACK, "< &Back").button(ID_WIZNEXT, "&Next >", true).button(ID_WIZFINISH, "Finish");
    } else {
      b.button(IDOK, "OK", true);
    }
    b.button(IDCANCEL, "Cancel");
    if (!wizard_) b.button(ID_APPLY_NOW, "&Apply");
  }
  if (mode_ == Mode::Modeless) {
    d_->footer = new FooterWidget(root);
    d_->footer->setFixedHeight(0);
    outer->addWidget(d_->footer);
  }
  updateButtons();
}

bool PropertySheet::create(Wnd* parent) {
  if (isCreated() || wizard_) return false;
  QWidget* root;
  if (parent && parent->widget()) {
    mode_ = Mode::Child;
    root = new QWidget(parent->widget());
  } else {
    mode_ = Mode::Modeless;
    auto* top = new TopLevelWidget(this, nullptr);
    top->setMainWindowStyle();
    root = top;
  }
  buildWindow(root);
  if (pageCount() > 0) setActivePage(std::clamp(startPage_, 0, pageCount() - 1));
  onInitDialog();
  if (mode_ == Mode::Child) root->show();
  return true;
}

int PropertySheet::doModal() {
  if (isCreated()) return -1;
  mode_ = wizard_ ? Mode::Wizard : Mode::Modal;
  QWidget* owner = parent_ && parent_->widget() ? parent_->widget()->window() : QApplication::activeWindow();
  auto* top = new TopLevelWidget(this, owner);
  ended_ = false;
  result_ = IDCANCEL;
  buildWindow(top);
  if (pageCount() > 0) setActivePage(std::clamp(startPage_, 0, pageCount() - 1));
  onInitDialog();
  top->runModal(captionId_, [this] { return ended_; }, [this] { endDialog(IDCANCEL); });
  destroyWindow();
  return result_;
}

void PropertySheet::endDialog(int result) {
  result_ = result;
  ended_ = true;
  if (mode_ == Mode::Modal || mode_ == Mode::Wizard) {
    if (auto* w = qobject_cast<QDialog*>(widget())) w->done(result);
  }
}

void PropertySheet::onDestroy() {
  for (PropertyPage* p : pages_) p->destroyWindow();
  active_ = -1;
  tabs_->destroy();
  mode_ = Mode::None;
}

// --- buttons ----------------------------------------------------------------------------------

void PropertySheet::setWizardMode() {
  if (!isCreated()) wizard_ = true;
}

bool PropertySheet::applyAll() {
  if (PropertyPage* current = activePage(); current && !current->onKillActive()) return false;
  for (PropertyPage* p : pages_) {
    if (p->isCreated() && !p->onApply()) return false;
  }
  for (PropertyPage* p : pages_) p->modified_ = false;
  updateButtons();
  return true;
}

bool PropertySheet::wizardStep(int direction) {
  PropertyPage* current = activePage();
  if (!current) return false;
  const int answer = direction > 0 ? current->onWizardNext() : current->onWizardBack();
  if (answer == -1) return false;
  int target = active_ + direction;
  if (answer != 0) {
    target = -1;
    for (int i = 0; i < pageCount(); ++i) {
      if (pages_[i]->templateId() == answer) target = i;
    }
  }
  if (target < 0 || target >= pageCount()) return false;
  if (!current->onKillActive()) return false;
  return showPage(target, direction);
}

bool PropertySheet::pressButton(int button) {
  const bool closes = mode_ == Mode::Modal || mode_ == Mode::Wizard;
  switch (button) {
    case PSBTN_OK:
      if (!applyAll()) return false;
      if (closes) endDialog(IDOK);
      return true;
    case PSBTN_APPLYNOW:
      return applyAll();
    case PSBTN_CANCEL:
      if (PropertyPage* current = activePage(); current && !current->onQueryCancel()) return false;
      for (PropertyPage* p : pages_) {
        if (p->isCreated()) p->onReset();
      }
      if (closes) endDialog(IDCANCEL);
      return true;
    case PSBTN_NEXT:
      return wizardStep(+1);
    case PSBTN_BACK:
      return wizardStep(-1);
    case PSBTN_FINISH:
      if (PropertyPage* current = activePage(); current && !current->onWizardFinish()) return false;
      if (closes) endDialog(ID_WIZFINISH);
      return true;
    default:
      return false;
  }
}

void PropertySheet::setWizardButtons(unsigned flags) {
  wizardButtons_ = flags;
  updateButtons();
}

void PropertySheet::updateButtons() {
  if (!isCreated()) return;
  if (wizard_) {
    const bool finish = (wizardButtons_ & (PSWIZB_FINISH | PSWIZB_DISABLEDFINISH)) != 0;
    enableItem(ID_WIZBACK, (wizardButtons_ & PSWIZB_BACK) != 0);
    showItem(ID_WIZNEXT, !finish);
    enableItem(ID_WIZNEXT, (wizardButtons_ & PSWIZB_NEXT) != 0);
    showItem(ID_WIZFINISH, finish);
    enableItem(ID_WIZFINISH, (wizardButtons_ & PSWIZB_FINISH) != 0);
  } else if (item(ID_APPLY_NOW)) {
    showItem(ID_APPLY_NOW, applyShown_);
    bool modified = false;
    for (PropertyPage* p : pages_) modified = modified || p->isModified();
    enableItem(ID_APPLY_NOW, modified);
  }
}

bool PropertySheet::onCommand(int id, int code) {
  if (code != BN_CLICKED) return false;
  switch (id) {
    case IDOK: return pressButton(PSBTN_OK), true;
    case IDCANCEL: return pressButton(PSBTN_CANCEL), true;
    case ID_APPLY_NOW: return pressButton(PSBTN_APPLYNOW), true;
    case ID_WIZBACK: return pressButton(PSBTN_BACK), true;
    case ID_WIZNEXT: return pressButton(PSBTN_NEXT), true;
    case ID_WIZFINISH: return pressButton(PSBTN_FINISH), true;
    default: return false;
  }
}

void PropertySheet::onClose() { pressButton(PSBTN_CANCEL); }

// --- footer ----------------------------------------------------------------------------------

void PropertySheet::setFooterHeight(int pixels) {
  if (!d_->footer) return;
  d_->footer->setFixedHeight(pixels);
  d_->footer->place();
}

static void anchor(QWidget* w, PropertySheet::Edge edge, int offset, int fromBottom, int width, int height) {
  w->setProperty(kEdge, static_cast<int>(edge));
  w->setProperty(kOffset, offset);
  w->setProperty(kFromBottom, fromBottom);
  w->resize(width, height);
}

void PropertySheet::addFooterButton(int id, std::string_view text, Edge edge, int offset, int fromBottom, int width,
                                    int height, bool isDefault) {
  if (!d_->footer) return;
  auto* b = new QPushButton(toQString(text), d_->footer);
  b->setAutoDefault(false);
  b->setDefault(isDefault);
  anchor(b, edge, offset, fromBottom, width, height);
  addControl(id, b);
  b->show();
  d_->footer->place();
}

void PropertySheet::addFooterCheck(int id, std::string_view text, Edge edge, int offset, int fromBottom, int width,
                                   int height) {
  if (!d_->footer) return;
  auto* c = new QCheckBox(toQString(text), d_->footer);
  anchor(c, edge, offset, fromBottom, width, height);
  addControl(id, c);
  c->show();
  d_->footer->place();
}

bool PropertySheet::waitForWorker(Thread& worker, uint32_t ms) { return waitForThread(worker, ms); }

}  // namespace zfw
