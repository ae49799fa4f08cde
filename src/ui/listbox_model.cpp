#include "ui/listbox_model.h"

#include "base/fsname.h"
#include "base/name_order.h"

#include <QSize>
#include <algorithm>
#include <cstring>
#include <memory>

namespace {
using Keys = std::vector<std::unique_ptr<nameorder::Key>>;

// Rows of printable ASCII only (most lists) sorted by their first-level keys laid end to end
// in one buffer: no key object per row, and none kept (they are made again when asked).
bool sortAscii(const QStringList &rows, std::vector<int> &order)
{
    struct Ranked {
        qsizetype at, size;
        int row;
    };
    qsizetype total = 0;
    for (const QString &r : rows)
        total += r.size();
    QByteArray all;
    all.reserve(total);
    std::vector<Ranked> ranked;
    ranked.reserve(rows.size());
    for (const QString &r : rows) {
        const qsizetype at = all.size();
        if (!nameorder::appendRanks(r, all))
            return false;
        ranked.push_back({at, all.size() - at, int(ranked.size())});
    }
    const char *base = all.constData();
    std::sort(ranked.begin(), ranked.end(), [&](const Ranked &x, const Ranked &y) {
        if (const int c = std::memcmp(base + x.at, base + y.at, size_t(std::min(x.size, y.size))))
            return c < 0;
        if (x.size != y.size)
            return x.size < y.size;
        return nameorder::breakTie(rows.at(x.row), rows.at(y.row)) < 0;
    });
    for (size_t i = 0; i < ranked.size(); ++i)
        order[i] = ranked[i].row;
    return true;
}

// Sorts rows; order tells which of the given rows each row is, and the keys made on the
// way come back beside the rows (empty where none was made). Rows already in order (the
// common case: the program saves its lists sorted) are only checked, which costs a
// comparison per neighbour instead of a key per row. Numbers are sorted, not rows: a move
// is an int, not a name and its key.
Keys sortKeyed(QStringList &rows, std::vector<int> &order)
{
    order.resize(size_t(rows.size()));
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = int(i);
    if (nameorder::inOrder(rows))
        return {};
    Keys made;
    if (!sortAscii(rows, order)) {
        made.reserve(size_t(rows.size()));
        for (const QString &r : std::as_const(rows))
            made.push_back(std::make_unique<nameorder::Key>(r));
        std::sort(order.begin(), order.end(), [&](int a, int b) {
            return nameorder::compare(rows.at(a), *made[size_t(a)], rows.at(b), *made[size_t(b)]) < 0;
        });
    }
    QStringList sorted;
    Keys keys(made.empty() ? 0 : size_t(rows.size()));
    sorted.reserve(rows.size());
    for (size_t r = 0; r < order.size(); ++r) {
        const size_t i = size_t(order[r]);
        sorted.append(rows.at(qsizetype(i)));
        if (!made.empty())
            keys[r] = std::move(made[i]);
    }
    rows = std::move(sorted);
    return keys;
}
// Keys are empty (none made yet, as for a list loaded in order) or one slot per row.
const nameorder::Key &keyOf(Keys &keys, const QStringList &rows, size_t i)
{
    if (keys.empty())
        keys.resize(size_t(rows.size()));
    if (!keys[i])
        keys[i] = std::make_unique<nameorder::Key>(rows.at(qsizetype(i)));
    return *keys[i];
}
const QString kPlaying = QStringLiteral(" - Παίζει - Playing");
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
        return fsname::shown(m_rows.at(index.row())) + (shownAfter ? shownAfter(index.row()) : QString());
    if (role == Qt::AccessibleTextRole && playingRow() == index.row())
        return m_rows.at(index.row()) + kPlaying;
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
    // Rows only: the root stands for no row.
    if (checkable && index.isValid())
        f |= Qt::ItemIsUserCheckable;
    return f;
}

const nameorder::Key &ListBoxModel::keyAt(size_t row) const { return keyOf(m_keys, m_rows, row); }

int ListBoxModel::upperBound(const QString &text, const nameorder::Key &key) const
{
    size_t lo = 0, hi = size_t(m_rows.size());
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (nameorder::compare(text, key, m_rows.at(qsizetype(mid)), keyAt(mid)) < 0)
            hi = mid;
        else
            lo = mid + 1;
    }
    return int(lo);
}

int ListBoxModel::insertSorted(const QString &text)
{
    nameorder::Key key = nameorder::key(text);
    const int row = upperBound(text, key);
    beginInsertRows({}, row, row);
    m_rows.insert(row, text);
    if (!m_keys.empty())
        m_keys.insert(m_keys.begin() + row, std::make_unique<nameorder::Key>(std::move(key)));
    m_checked.insert(m_checked.begin() + row, 0);
    grewBy(text);
    endInsertRows();
    return row;
}

std::vector<int> ListBoxModel::insertSortedMany(QStringList rows)
{
    std::vector<int> moved(size_t(m_rows.size()));
    if (rows.empty()) {
        for (size_t i = 0; i < moved.size(); ++i)
            moved[i] = int(i);
        return moved;
    }
    std::vector<int> order;
    Keys keys = sortKeyed(rows, order);
    for (const QString &r : std::as_const(rows))
        grewBy(r);
    QStringList merged;
    Keys mergedKeys;
    std::vector<char> checks;
    merged.reserve(m_rows.size() + rows.size());
    checks.reserve(m_rows.size() + rows.size());
    // The merge compares the rows it passes, and so makes their keys: both sides get slots.
    const size_t had = size_t(m_rows.size()), adding = size_t(rows.size());
    if (had > 0) {
        m_keys.resize(had);
        keys.resize(adding);
        mergedKeys.reserve(had + adding);
    }
    size_t a = 0, b = 0;
    // Existing rows go first among equals, as one insertion at a time would place them.
    // Rows are read, not moved: a list shared with a saved snapshot is not copied for it.
    while (a < had || b < adding) {
        if (b == adding
            || (a < had
                && nameorder::compare(rows.at(qsizetype(b)), keyOf(keys, rows, b), m_rows.at(qsizetype(a)), keyAt(a))
                    >= 0)) {
            moved[a] = int(merged.size());
            merged.append(m_rows.at(qsizetype(a)));
            mergedKeys.push_back(std::move(m_keys[a]));
            checks.push_back(m_checked[a++]);
        } else {
            if (!keys.empty())
                mergedKeys.push_back(std::move(keys[b]));
            merged.append(rows.at(qsizetype(b++)));
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

std::vector<int> ListBoxModel::setAll(QStringList rows)
{
    std::vector<int> order;
    Keys keys = sortKeyed(rows, order);
    beginResetModel();
    m_rows = std::move(rows);
    m_keys = std::move(keys);
    m_checked.assign(size_t(m_rows.size()), 0);
    m_widest = -1;
    endResetModel();
    return order;
}

std::vector<int> ListBoxModel::retain(const std::vector<char> &keep)
{
    std::vector<int> moved(size_t(m_rows.size()), -1);
    size_t out = 0;
    beginResetModel();
    for (size_t i = 0; i < size_t(m_rows.size()); ++i) {
        if (i >= keep.size() || !keep[i]) {
            lost(m_rows.at(qsizetype(i)));
            continue;
        }
        moved[i] = int(out);
        if (out != i) {
            m_rows[qsizetype(out)] = std::move(m_rows[qsizetype(i)]);
            if (!m_keys.empty())
                m_keys[out] = std::move(m_keys[i]);
            m_checked[out] = m_checked[i];
        }
        ++out;
    }
    m_rows.resize(qsizetype(out));
    if (!m_keys.empty())
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
    lost(m_rows.at(row));
    m_rows.removeAt(row);
    if (!m_keys.empty())
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
    const nameorder::Key key = nameorder::key(text);
    size_t lo = 0, hi = size_t(m_rows.size());
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (keyAt(mid).compare(key) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    for (size_t i = lo; i < size_t(m_rows.size()) && keyAt(i).compare(key) == 0; ++i)
        if (nameorder::sameEntry(m_rows.at(qsizetype(i)), text))
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
