#include "ui/listbox.h"

#include <QItemSelectionModel>
#include <algorithm>

namespace {
bool lessNoCase(const QString &a, const QString &b)
{
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
}
// Case folding with a quick road for ASCII, which is most of any path; the result equals
// QString::toCaseFolded for text without surrogates.
QString fold(const QString &text)
{
    QString out(text.size(), Qt::Uninitialized);
    QChar *o = out.data();
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80) {
            *o++ = QChar(u >= 'A' && u <= 'Z' ? char16_t(u + 32) : u);
        } else if (c.isSurrogate()) {
            return text.toCaseFolded();
        } else {
            *o++ = c.toCaseFolded();
        }
    }
    return out;
}

// The same order as lessNoCase, sorting on case-folded copies made once instead of
// folding inside every comparison; checked afterwards, so an odd character whose folding
// orders differently costs time, never order.
void sortNoCase(std::vector<QString> &rows)
{
    // Rows often come in order already (a sorted list copied, one folder's files).
    if (std::is_sorted(rows.begin(), rows.end(), lessNoCase))
        return;
    std::vector<std::pair<QString, QString>> keyed;
    keyed.reserve(rows.size());
    for (QString &r : rows) {
        QString key = fold(r);
        keyed.emplace_back(std::move(key), std::move(r));
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = std::move(keyed[i].second);
    if (!std::is_sorted(rows.begin(), rows.end(), lessNoCase))
        std::stable_sort(rows.begin(), rows.end(), lessNoCase);
}
} // namespace

int ListBoxModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant ListBoxModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_rows.size()))
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return m_rows[size_t(index.row())];
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

int ListBoxModel::insertSorted(const QString &text)
{
    const auto pos = std::upper_bound(m_rows.begin(), m_rows.end(), text, lessNoCase);
    const int row = int(pos - m_rows.begin());
    beginInsertRows({}, row, row);
    m_rows.insert(pos, text);
    m_checked.insert(m_checked.begin() + row, 0);
    endInsertRows();
    return row;
}

void ListBoxModel::insertSortedMany(std::vector<QString> rows)
{
    if (rows.empty())
        return;
    sortNoCase(rows);
    std::vector<QString> merged;
    std::vector<char> checks;
    merged.reserve(m_rows.size() + rows.size());
    checks.reserve(m_rows.size() + rows.size());
    size_t a = 0, b = 0;
    // Existing rows go first among equals, as one insertion at a time would place them.
    while (a < m_rows.size() || b < rows.size()) {
        if (b == rows.size() || (a < m_rows.size() && !lessNoCase(rows[b], m_rows[a]))) {
            merged.push_back(std::move(m_rows[a]));
            checks.push_back(m_checked[a++]);
        } else {
            merged.push_back(std::move(rows[b++]));
            checks.push_back(0);
        }
    }
    beginResetModel();
    m_rows = std::move(merged);
    m_checked = std::move(checks);
    endResetModel();
}

void ListBoxModel::setAll(std::vector<QString> rows)
{
    sortNoCase(rows);
    beginResetModel();
    m_rows = std::move(rows);
    m_checked.assign(m_rows.size(), 0);
    endResetModel();
}

void ListBoxModel::removeAt(int row)
{
    if (row < 0 || row >= int(m_rows.size()))
        return;
    beginRemoveRows({}, row, row);
    m_rows.erase(m_rows.begin() + row);
    m_checked.erase(m_checked.begin() + row);
    endRemoveRows();
}

void ListBoxModel::clearAll()
{
    beginResetModel();
    m_rows.clear();
    m_checked.clear();
    endResetModel();
}

int ListBoxModel::findExact(const QString &text) const
{
    const auto pos = std::lower_bound(m_rows.begin(), m_rows.end(), text, lessNoCase);
    if (pos != m_rows.end() && QString::compare(*pos, text, Qt::CaseInsensitive) == 0)
        return int(pos - m_rows.begin());
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

QString ListBox::foldKey(const QString &text)
{
    return fold(text);
}

ListBox::ListBox(Selection mode, QWidget *parent)
    : QListView(parent)
    , m_model(new ListBoxModel(this))
    , m_mode(mode)
{
    m_model->checkable = mode == Selection::Checks;
    setModel(m_model);
    setUniformItemSizes(true);
    setEditTriggers(NoEditTriggers);
    setSelectionMode(mode == Selection::Checks ? SingleSelection : ExtendedSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            &ListBox::onCurrentChanged);
    connect(this, &QListView::doubleClicked, this, &ListBox::userDoubleClicked);
}

void ListBox::onCurrentChanged()
{
    if (!m_settingInCode)
        emit userClicked();
}

QString ListBox::text(int row) const
{
    return row >= 0 && row < count() ? m_model->at(row) : QString();
}

QString ListBox::currentText() const
{
    return text(listIndex());
}

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
    const QString current = currentText();
    const bool hadCurrent = listIndex() >= 0;
    m_settingInCode = true;
    m_model->insertSortedMany(std::move(rows));
    m_settingInCode = false;
    if (hadCurrent)
        setListIndex(findExact(current));
}

int ListBox::findExact(const QString &text) const
{
    return m_model->findExact(text);
}

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
    selectionModel()->select(m_model->index(row),
                             on ? QItemSelectionModel::Select : QItemSelectionModel::Deselect);
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
    for (int r : rows)
        if (r >= 0 && r < count())
            sel.select(m_model->index(r), m_model->index(r));
    m_settingInCode = true;
    selectionModel()->select(sel, QItemSelectionModel::ClearAndSelect);
    m_settingInCode = false;
}

void ListBox::enableHorizontalScroll()
{
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}
