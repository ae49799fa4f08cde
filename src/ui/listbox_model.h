#pragma once
// The rows of a ListBox: kept in alphabetical order with each row's sort key computed once
// (when first needed), a check per row, and the widest row's width for views that scroll
// sideways.

#include "base/name_order.h"

#include <QAbstractListModel>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class ListBoxModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;
    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    int insertSorted(const QString &text);
    // Merges rows in at their sorted places in one step, keeping every check; returns where
    // each earlier row went.
    std::vector<int> insertSortedMany(QStringList rows);
    // Returns, for each row, which of the given rows it is.
    std::vector<int> setAll(QStringList rows);
    // Keeps the rows whose flag is set, in their order; returns where each row went (-1: gone).
    std::vector<int> retain(const std::vector<char> &keep);
    void removeAt(int row);
    void clearAll();
    int findExact(const QString &text) const;
    const QString &at(int row) const { return m_rows.at(row); }
    // Every row, shared: a copy costs nothing until one side changes.
    const QStringList &rows() const { return m_rows; }

    bool checkable = false;
    // The row of this entry is the one that plays ("": none).
    QString playing;
    int playingRow() const { return playing.isEmpty() ? -1 : findExact(playing); }
    // Width of a row's text; set, every row reports the widest row's width as its size,
    // so a view with uniform row sizes scrolls to the end of the longest row.
    std::function<int(const QString &)> measure;
    int rowHeight = 0;
    // Shown after a row's text (the completed window: where a file was left); not sorted by.
    std::function<QString(int row)> shownAfter;
    // Forgets the widest width (the font changed).
    void remeasure() { m_widest = -1; }
    int widest() const;
    bool isChecked(int row) const { return m_checked[size_t(row)] != 0; }
    void setChecked(int row, bool on);

private:
    int upperBound(const QString &text, const nameorder::Key &key) const;
    const nameorder::Key &keyAt(size_t row) const;

    QStringList m_rows;
    // Empty, or one slot per row whose key is made on first use: a list that comes in already
    // in order (a saved session) holds not even the slots until a lookup or an insertion asks.
    mutable std::vector<std::unique_ptr<nameorder::Key>> m_keys;
    std::vector<char> m_checked;
    mutable int m_widest = -1; // -1: to be measured again over all rows
    void grewBy(const QString &text);
    void lost(const QString &text);
};
