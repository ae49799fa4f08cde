#include "ui/listbox.h"

#include "base/fsname.h"
#include "base/name_order.h"
#include "ui/listbox_accessible.h"

#include <QAccessible>
#include <QEvent>
#include <QItemSelectionModel>
#include <QStyle>
#include <QStyledItemDelegate>
#include <algorithm>
#include <memory>

namespace {
struct Keyed {
    QString text;
    QCollatorSortKey key;
};
bool keyedLess(const Keyed &a, const Keyed &b) { return nameorder::compare(a.text, a.key, b.text, b.key) < 0; }

// Sorts rows, computing each row's key once; the keys come back beside the rows.
std::vector<QCollatorSortKey> sortKeyed(std::vector<QString> &rows)
{
    std::vector<Keyed> keyed;
    keyed.reserve(rows.size());
    for (QString &r : rows) {
        QCollatorSortKey k = nameorder::key(r);
        keyed.push_back({std::move(r), std::move(k)});
    }
    std::sort(keyed.begin(), keyed.end(), keyedLess);
    std::vector<QCollatorSortKey> keys;
    keys.reserve(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        rows[i] = std::move(keyed[i].text);
        keys.push_back(std::move(keyed[i].key));
    }
    return keys;
}
const QString kPlaying = QStringLiteral(" - Παίζει - Playing");

// Paints the playing row apart; the row's text itself stays as it is.
class PlayingDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const auto *view = qobject_cast<const QAbstractItemView *>(parent());
        if (view && view->currentIndex().isValid() && view->currentIndex().row() == index.row()) {
            option->font.setBold(true);
            option->text = QStringLiteral("▶ ") + option->text;
        }
    }
};
} // namespace

int ListBoxModel::widest() const
{
    if (m_widest < 0) {
        int w = 0;
        for (const QString &r : m_rows)
            w = std::max(w, measure(r));
        m_widest = w;
    }
    return m_widest;
}

void ListBoxModel::grewBy(const QString &text)
{
    if (measure && m_widest >= 0)
        m_widest = std::max(m_widest, measure(text));
}

void ListBoxModel::lost(const QString &text)
{
    // Only losing the widest row calls for a new pass, and that waits until a view asks.
    if (measure && m_widest >= 0 && measure(text) >= m_widest)
        m_widest = -1;
}

int ListBoxModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : int(m_rows.size()); }

QVariant ListBoxModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_rows.size()))
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return fsname::shown(m_rows[size_t(index.row())]);
    if (role == Qt::AccessibleTextRole && playingFrom && playingFrom->currentIndex().row() == index.row())
        return m_rows[size_t(index.row())] + kPlaying;
    if (role == Qt::SizeHintRole && measure)
        return QSize(widest(), rowHeight);
    if (role == Qt::CheckStateRole && checkable)
        return isChecked(index.row()) ? Qt::Checked : Qt::Unchecked;
    return {};
}

bool ListBoxModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!checkable || role != Qt::CheckStateRole || !index.isValid())
        return false;
    setChecked(index.row(), value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags ListBoxModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractListModel::flags(index);
    if (checkable)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

int ListBoxModel::upperBound(const QString &text, const QCollatorSortKey &key) const
{
    size_t lo = 0, hi = m_rows.size();
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (nameorder::compare(text, key, m_rows[mid], m_keys[mid]) < 0)
            hi = mid;
        else
            lo = mid + 1;
    }
    return int(lo);
}

int ListBoxModel::insertSorted(const QString &text)
{
    QCollatorSortKey key = nameorder::key(text);
    const int row = upperBound(text, key);
    beginInsertRows({}, row, row);
    m_rows.insert(m_rows.begin() + row, text);
    m_keys.insert(m_keys.begin() + row, std::move(key));
    m_checked.insert(m_checked.begin() + row, 0);
    grewBy(text);
    endInsertRows();
    return row;
}

std::vector<int> ListBoxModel::insertSortedMany(std::vector<QString> rows)
{
    std::vector<int> moved(m_rows.size());
    if (rows.empty()) {
        for (size_t i = 0; i < moved.size(); ++i)
            moved[i] = int(i);
        return moved;
    }
    std::vector<QCollatorSortKey> keys = sortKeyed(rows);
    for (const QString &r : rows)
        grewBy(r);
    std::vector<QString> merged;
    std::vector<QCollatorSortKey> mergedKeys;
    std::vector<char> checks;
    merged.reserve(m_rows.size() + rows.size());
    mergedKeys.reserve(m_rows.size() + rows.size());
    checks.reserve(m_rows.size() + rows.size());
    size_t a = 0, b = 0;
    // Existing rows go first among equals, as one insertion at a time would place them.
    while (a < m_rows.size() || b < rows.size()) {
        if (b == rows.size()
            || (a < m_rows.size() && nameorder::compare(rows[b], keys[b], m_rows[a], m_keys[a]) >= 0)) {
            moved[a] = int(merged.size());
            merged.push_back(std::move(m_rows[a]));
            mergedKeys.push_back(std::move(m_keys[a]));
            checks.push_back(m_checked[a++]);
        } else {
            merged.push_back(std::move(rows[b]));
            mergedKeys.push_back(std::move(keys[b++]));
            checks.push_back(0);
        }
    }
    beginResetModel();
    m_rows = std::move(merged);
    m_keys = std::move(mergedKeys);
    m_checked = std::move(checks);
    endResetModel();
    return moved;
}

void ListBoxModel::setAll(std::vector<QString> rows)
{
    std::vector<QCollatorSortKey> keys = sortKeyed(rows);
    beginResetModel();
    m_rows = std::move(rows);
    m_keys = std::move(keys);
    m_checked.assign(m_rows.size(), 0);
    m_widest = -1;
    endResetModel();
}

std::vector<int> ListBoxModel::retain(const std::vector<char> &keep)
{
    std::vector<int> moved(m_rows.size(), -1);
    size_t out = 0;
    beginResetModel();
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (i >= keep.size() || !keep[i]) {
            lost(m_rows[i]);
            continue;
        }
        moved[i] = int(out);
        if (out != i) {
            m_rows[out] = std::move(m_rows[i]);
            m_keys[out] = std::move(m_keys[i]);
            m_checked[out] = m_checked[i];
        }
        ++out;
    }
    m_rows.erase(m_rows.begin() + qsizetype(out), m_rows.end());
    m_keys.erase(m_keys.begin() + qsizetype(out), m_keys.end());
    m_checked.resize(out);
    endResetModel();
    return moved;
}

void ListBoxModel::removeAt(int row)
{
    if (row < 0 || row >= int(m_rows.size()))
        return;
    beginRemoveRows({}, row, row);
    lost(m_rows[size_t(row)]);
    m_rows.erase(m_rows.begin() + row);
    m_keys.erase(m_keys.begin() + row);
    m_checked.erase(m_checked.begin() + row);
    endRemoveRows();
}

void ListBoxModel::clearAll()
{
    beginResetModel();
    m_rows.clear();
    m_keys.clear();
    m_checked.clear();
    m_widest = -1;
    endResetModel();
}

int ListBoxModel::findExact(const QString &text) const
{
    if (m_rows.empty())
        return -1;
    // Names equal without regard to case share their first-level key; only those are compared.
    const QCollatorSortKey key = nameorder::key(text);
    size_t lo = 0, hi = m_rows.size();
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (m_keys[mid].compare(key) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    for (size_t i = lo; i < m_rows.size() && m_keys[i].compare(key) == 0; ++i)
        if (nameorder::sameEntry(m_rows[i], text))
            return int(i);
    return -1;
}

void ListBoxModel::setChecked(int row, bool on)
{
    if (row < 0 || row >= int(m_rows.size()) || isChecked(row) == on)
        return;
    m_checked[size_t(row)] = on ? 1 : 0;
    const QModelIndex idx = index(row);
    emit dataChanged(idx, idx, {Qt::CheckStateRole});
}

ListBox::ListBox(Selection mode, QWidget *parent)
    : QListView(parent)
    , m_model(new ListBoxModel(this))
    , m_mode(mode)
{
    static const bool accessible = [] {
        QAccessible::installFactory(listboxaccess::factory);
        return true;
    }();
    Q_UNUSED(accessible);
    m_model->checkable = mode == Selection::Checks;
    setModel(m_model);
    setUniformItemSizes(true);
    setEditTriggers(NoEditTriggers);
    setSelectionMode(mode == Selection::Checks ? SingleSelection : ExtendedSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, &ListBox::onCurrentChanged);
    connect(this, &QListView::doubleClicked, this, &ListBox::userDoubleClicked);
}

void ListBox::onCurrentChanged()
{
    if (!m_settingInCode)
        emit userClicked();
}

QString ListBox::text(int row) const { return row >= 0 && row < count() ? m_model->at(row) : QString(); }

QString ListBox::currentText() const { return text(listIndex()); }

int ListBox::addItem(const QString &text)
{
    m_settingInCode = true;
    const int row = m_model->insertSorted(text);
    m_settingInCode = false;
    return row;
}

void ListBox::removeItem(int row)
{
    m_settingInCode = true;
    m_model->removeAt(row);
    m_settingInCode = false;
}

void ListBox::clear()
{
    m_settingInCode = true;
    m_model->clearAll();
    m_settingInCode = false;
}

void ListBox::setItems(std::vector<QString> rows)
{
    m_settingInCode = true;
    m_model->setAll(std::move(rows));
    m_settingInCode = false;
}

void ListBox::addItems(std::vector<QString> rows)
{
    if (rows.empty())
        return;
    const std::vector<int> selected = selectedRows();
    const int current = listIndex();
    m_settingInCode = true;
    const std::vector<int> moved = m_model->insertSortedMany(std::move(rows));
    m_settingInCode = false;
    followMoves(moved, selected, current);
}

void ListBox::keepItems(const std::vector<char> &keep)
{
    const std::vector<int> selected = selectedRows();
    const int current = listIndex();
    m_settingInCode = true;
    const std::vector<int> moved = m_model->retain(keep);
    m_settingInCode = false;
    followMoves(moved, selected, current);
}

std::vector<int> ListBox::selectedRows() const
{
    std::vector<int> rows;
    if (m_mode == Selection::Checks)
        return rows; // checks live in the model and move with their rows
    for (const QItemSelectionRange &r : selectionModel()->selection())
        for (int i = r.top(); i <= r.bottom(); ++i)
            rows.push_back(i);
    return rows;
}

void ListBox::followMoves(const std::vector<int> &moved, const std::vector<int> &selected, int current)
{
    const auto to = [&](int row) { return row >= 0 && size_t(row) < moved.size() ? moved[size_t(row)] : -1; };
    std::vector<int> now;
    now.reserve(selected.size());
    for (int r : selected)
        if (to(r) >= 0)
            now.push_back(to(r));
    if (!now.empty())
        selectOnly(now);
    if (current >= 0)
        setListIndex(to(current));
}

int ListBox::findExact(const QString &text) const { return m_model->findExact(text); }

int ListBox::listIndex() const
{
    const QModelIndex cur = selectionModel()->currentIndex();
    return cur.isValid() ? cur.row() : -1;
}

void ListBox::setListIndex(int row)
{
    m_settingInCode = true;
    const QModelIndex idx = row >= 0 && row < count() ? m_model->index(row) : QModelIndex();
    selectionModel()->setCurrentIndex(idx, QItemSelectionModel::NoUpdate);
    if (idx.isValid())
        scrollTo(idx);
    m_settingInCode = false;
}

bool ListBox::isSelected(int row) const
{
    if (row < 0 || row >= count())
        return false;
    if (m_mode == Selection::Checks)
        return m_model->isChecked(row);
    return selectionModel()->isSelected(m_model->index(row));
}

void ListBox::setSelected(int row, bool on)
{
    if (row < 0 || row >= count())
        return;
    if (m_mode == Selection::Checks) {
        m_model->setChecked(row, on);
        return;
    }
    m_settingInCode = true;
    selectionModel()->select(m_model->index(row), on ? QItemSelectionModel::Select : QItemSelectionModel::Deselect);
    m_settingInCode = false;
}

void ListBox::clearSelection()
{
    if (m_mode == Selection::Checks) {
        for (int i = 0; i < count(); ++i)
            m_model->setChecked(i, false);
        return;
    }
    m_settingInCode = true;
    selectionModel()->clearSelection();
    m_settingInCode = false;
}

void ListBox::selectOnly(const std::vector<int> &rows)
{
    if (m_mode == Selection::Checks) {
        clearSelection();
        for (int r : rows)
            m_model->setChecked(r, true);
        return;
    }
    QItemSelection sel;
    // Runs of neighbouring rows become one range each: a long played stretch stays cheap.
    for (size_t i = 0; i < rows.size();) {
        size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1)
            ++j;
        if (rows[i] >= 0 && rows[j] < count())
            sel.select(m_model->index(rows[i]), m_model->index(rows[j]));
        i = j + 1;
    }
    m_settingInCode = true;
    selectionModel()->select(sel, QItemSelectionModel::ClearAndSelect);
    m_settingInCode = false;
}

void ListBox::enableHorizontalScroll()
{
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setTextElideMode(Qt::ElideNone);
    m_wholeRows = true;
    measureRows();
}

void ListBox::measureRows()
{
    // Rows share one size, that of the widest row, kept up as rows come and go. Measured
    // in bold and with room for the playing mark, so the playing row is not cut either.
    QStyleOptionViewItem opt;
    initViewItemOption(&opt);
    opt.text = QStringLiteral("▶ Ag");
    opt.features |= QStyleOptionViewItem::HasDisplay;
    if (m_mode == Selection::Checks)
        opt.features |= QStyleOptionViewItem::HasCheckIndicator;
    opt.font.setBold(true);
    opt.fontMetrics = QFontMetrics(opt.font);
    const QSize sample = style()->sizeFromContents(QStyle::CT_ItemViewItem, &opt, QSize(), this);
    const QFontMetrics bold(opt.font);
    const int extra = sample.width() - bold.horizontalAdvance(QStringLiteral("Ag"));
    // Shaping a whole row costs microseconds, too much for 32 767 rows; the sum of the
    // characters' own advances, each measured once, is as wide or wider (kerning only
    // narrows), so no row is cut.
    auto advances = std::make_shared<std::vector<int16_t>>(0x10000, int16_t(-1));
    m_model->measure = [bold, extra, advances](const QString &text) {
        int w = extra;
        for (const QChar c : text) {
            int16_t &a = (*advances)[c.unicode()];
            if (a < 0)
                a = int16_t(c.isSurrogate() ? bold.maxWidth() : bold.horizontalAdvance(c));
            w += a;
        }
        return w;
    };
    m_model->rowHeight = sample.height();
    m_model->remeasure();
    doItemsLayout();
}

void ListBox::markCurrentAsPlaying()
{
    m_model->playingFrom = selectionModel();
    setItemDelegate(new PlayingDelegate(this));
}

void ListBox::changeEvent(QEvent *event)
{
    QListView::changeEvent(event);
    if (m_wholeRows && (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange))
        measureRows();
}
