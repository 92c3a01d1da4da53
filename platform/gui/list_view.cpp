#include "platform/gui/list_view.h"

#include <QFocusEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QTreeWidget>
#include <algorithm>

#include "platform/gui/icons.h"
#include "platform/gui/list_view_wiring.h"
#include "platform/gui/qt_text.h"

namespace zfw {
namespace {

constexpr int kDataRole = Qt::UserRole;
constexpr int kImageRole = Qt::UserRole + 1;
constexpr const char* kStyleProperty = "zfwListStyle";
constexpr const char* kImagesProperty = "zfwListImages";

class ListViewFilter final : public QObject {
 public:
  ListViewFilter(QTreeWidget* list, QObject* parent, std::function<void(int, const NotifyInfo&)> notify)
      : QObject(parent), list_(list), notify_(std::move(notify)) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == list_) {
      if (event->type() == QEvent::FocusOut) notify_(NM_KILLFOCUS, NotifyInfo{});
      return false;
    }
    switch (event->type()) {
      case QEvent::MouseButtonPress:
        skipRelease_ = false;
        break;
      case QEvent::MouseButtonDblClick: {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() == Qt::LeftButton) {
          skipRelease_ = true;
          notify_(NM_DBLCLK, infoAt(me->position().toPoint()));
        }
        break;
      }
      case QEvent::MouseButtonRelease: {
        auto* me = static_cast<QMouseEvent*>(event);
        if (skipRelease_) {
          skipRelease_ = false;
          break;
        }
        const NotifyInfo info = infoAt(me->position().toPoint());
        if (me->button() == Qt::RightButton) notify_(NM_RCLICK, info);
        if (me->button() == Qt::LeftButton) {
          notify_(NM_CLICK, info);
          ListView view(list_);
          if (info.row >= 0 && info.x < kListCheckStripWidth && (view.extendedStyle() & LVS_EX_CHECKBOXES)) {
            view.setCheck(info.row, !view.check(info.row));
          }
        }
        break;
      }
      default:
        break;
    }
    return false;
  }

 private:
  NotifyInfo infoAt(QPoint p) const {
    NotifyInfo info;
    info.x = p.x();
    info.y = p.y();
    const QModelIndex index = list_->indexAt(p);
    if (index.isValid()) {
      info.row = list_->indexOfTopLevelItem(list_->itemFromIndex(index));
      info.column = index.column();
    }
    return info;
  }

  QTreeWidget* list_;
  std::function<void(int, const NotifyInfo&)> notify_;
  bool skipRelease_ = false;
};

}  // namespace

void setUpListView(QTreeWidget* list) {
  list->setRootIsDecorated(false);
  list->setIndentation(0);
  list->setItemsExpandable(false);
  list->setUniformRowHeights(true);
  list->setAllColumnsShowFocus(true);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setColumnCount(0);
  list->header()->setStretchLastSection(false);
  list->header()->setSectionsMovable(false);
  list->setProperty(kStyleProperty, 0u);
}

void wireListView(QTreeWidget* list, QObject* context, std::function<void(int, const NotifyInfo&)> notify) {
  auto* filter = new ListViewFilter(list, context, notify);
  list->installEventFilter(filter);
  list->viewport()->installEventFilter(filter);
  QObject::connect(list, &QTreeWidget::itemSelectionChanged, context, [list, notify] {
    NotifyInfo info;
    info.row = ListView(list).selectedRow();
    notify(LVN_ITEMCHANGED, info);
  });
}

ListView::ListView(QWidget* control) : list_(qobject_cast<QTreeWidget*>(control)) {}

int ListView::insertColumn(int column, std::string_view heading, int width) {
  if (!list_) return -1;
  const int count = list_->columnCount();
  column = std::clamp(column, 0, count);
  list_->setColumnCount(count + 1);
  QTreeWidgetItem* header = list_->headerItem();
  for (int c = count; c > column; --c) {
    header->setText(c, header->text(c - 1));
    list_->setColumnWidth(c, list_->columnWidth(c - 1));
  }
  header->setText(column, toQString(heading));
  list_->setColumnWidth(column, std::max(width, 0));
  return column;
}

int ListView::columnCount() const { return list_ ? list_->columnCount() : 0; }

int ListView::columnWidth(int column) const { return list_ ? list_->columnWidth(column) : 0; }

void ListView::widenColumnsToFit() {
  if (!list_) return;
  for (int column = 0; column < list_->columnCount(); ++column) {
    const int width = list_->columnWidth(column);
    list_->resizeColumnToContents(column);
    if (list_->columnWidth(column) < width) list_->setColumnWidth(column, width);
  }
}

void ListView::setHeaderVisible(bool visible) {
  if (list_) list_->setHeaderHidden(!visible);
}

void ListView::setExtendedStyle(unsigned style) {
  if (!list_) return;
  list_->setProperty(kStyleProperty, style);
  // Rows of a list without check boxes carry no check state at all.
  for (int row = 0; row < itemCount(); ++row) {
    QTreeWidgetItem* item = list_->topLevelItem(row);
    if (style & LVS_EX_CHECKBOXES) {
      if (!item->data(0, Qt::CheckStateRole).isValid()) item->setCheckState(0, Qt::Unchecked);
    } else {
      item->setData(0, Qt::CheckStateRole, QVariant());
    }
  }
  list_->setStyleSheet((style & LVS_EX_GRIDLINES) ? QStringLiteral("QTreeView::item { border: 1px solid #d0d0d0; }")
                                                 : QString());
}

unsigned ListView::extendedStyle() const { return list_ ? list_->property(kStyleProperty).toUInt() : 0; }

void ListView::setImageList(const std::vector<int>& iconIds) {
  if (!list_) return;
  QVariantList ids;
  for (int id : iconIds) ids.append(id);
  list_->setProperty(kImagesProperty, ids);
  for (int row = 0; row < itemCount(); ++row) setItemImage(row, itemImage(row));
}

int ListView::itemCount() const { return list_ ? list_->topLevelItemCount() : 0; }

int ListView::insertItem(int row, std::string_view text, int image) {
  if (!list_) return -1;
  row = std::clamp(row, 0, itemCount());
  auto* item = new QTreeWidgetItem();
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  item->setText(0, toQString(text));
  if (extendedStyle() & LVS_EX_CHECKBOXES) item->setCheckState(0, Qt::Unchecked);
  list_->insertTopLevelItem(row, item);
  setItemImage(row, image);
  return row;
}

bool ListView::deleteItem(int row) {
  if (!list_ || row < 0 || row >= itemCount()) return false;
  delete list_->takeTopLevelItem(row);
  return true;
}

void ListView::deleteAllItems() {
  if (list_) list_->clear();
}

bool ListView::setItemText(int row, int column, std::string_view text) {
  if (!list_ || row < 0 || row >= itemCount() || column < 0 || column >= columnCount()) return false;
  list_->topLevelItem(row)->setText(column, toQString(text));
  return true;
}

std::string ListView::itemText(int row, int column) const {
  if (!list_ || row < 0 || row >= itemCount()) return {};
  return fromQString(list_->topLevelItem(row)->text(column));
}

bool ListView::setItemData(int row, uintptr_t data) {
  if (!list_ || row < 0 || row >= itemCount()) return false;
  list_->topLevelItem(row)->setData(0, kDataRole, QVariant::fromValue<qulonglong>(data));
  return true;
}

uintptr_t ListView::itemData(int row) const {
  if (!list_ || row < 0 || row >= itemCount()) return 0;
  return static_cast<uintptr_t>(list_->topLevelItem(row)->data(0, kDataRole).toULongLong());
}

bool ListView::setItemImage(int row, int image) {
  if (!list_ || row < 0 || row >= itemCount()) return false;
  QTreeWidgetItem* item = list_->topLevelItem(row);
  item->setData(0, kImageRole, image);
  const QVariantList ids = list_->property(kImagesProperty).toList();
  item->setIcon(0, image >= 0 && image < ids.size() ? iconFor(ids[image].toInt()) : QIcon());
  return true;
}

int ListView::itemImage(int row) const {
  if (!list_ || row < 0 || row >= itemCount()) return -1;
  const QVariant v = list_->topLevelItem(row)->data(0, kImageRole);
  return v.isValid() ? v.toInt() : -1;
}

bool ListView::setCheck(int row, bool checked) {
  if (!list_ || row < 0 || row >= itemCount()) return false;
  list_->topLevelItem(row)->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
  return true;
}

bool ListView::check(int row) const {
  if (!list_ || row < 0 || row >= itemCount()) return false;
  return list_->topLevelItem(row)->checkState(0) == Qt::Checked;
}

int ListView::selectedRow() const {
  if (!list_) return -1;
  const QList<QTreeWidgetItem*> selected = list_->selectedItems();
  return selected.isEmpty() ? -1 : list_->indexOfTopLevelItem(selected.first());
}

void ListView::selectRow(int row) {
  if (!list_) return;
  if (row < 0 || row >= itemCount()) {
    list_->clearSelection();
    return;
  }
  QTreeWidgetItem* item = list_->topLevelItem(row);
  list_->setCurrentItem(item);
  item->setSelected(true);
  list_->scrollToItem(item);
}

Rect ListView::itemRect(int row) const {
  if (!list_ || row < 0 || row >= itemCount()) return {};
  const QRect r = list_->visualItemRect(list_->topLevelItem(row));
  return Rect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

int ListView::rowAt(int x, int y) const {
  if (!list_) return -1;
  QTreeWidgetItem* item = list_->itemAt(x, y);
  return item ? list_->indexOfTopLevelItem(item) : -1;
}

}  // namespace zfw
