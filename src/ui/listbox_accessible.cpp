#include "ui/listbox_accessible.h"

#include "ui/listbox.h"

#include <QAccessibleWidget>
#include <QPointer>
#include <QScrollBar>
#include <unordered_map>
#include <vector>

namespace {

class RowAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    RowAccessible(ListBox *list, int row)
        : m_list(list)
        , m_row(row)
    {
    }

    bool isValid() const override { return m_list && m_row < m_list->count(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_list ? m_list->window()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(m_list); }
    QAccessibleInterface *child(int) const override { return nullptr; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessible::Role role() const override { return QAccessible::ListItem; }

    QString text(QAccessible::Text t) const override
    {
        if (!isValid() || t != QAccessible::Name)
            return {};
        const QModelIndex idx = m_list->model()->index(m_row, 0);
        const QString named = idx.data(Qt::AccessibleTextRole).toString();
        return named.isEmpty() ? idx.data().toString() : named;
    }
    void setText(QAccessible::Text, const QString &) override { }

    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect r = m_list->visualRect(m_list->model()->index(m_row, 0));
        return QRect(m_list->viewport()->mapToGlobal(r.topLeft()), r.size());
    }

    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        s.checkable = true;
        s.checked = m_list->isSelected(m_row);
        s.focusable = true;
        s.focused = m_list->hasFocus() && m_list->listIndex() == m_row;
        const QRect visible = m_list->viewport()->rect();
        s.invisible = !visible.intersects(m_list->visualRect(m_list->model()->index(m_row, 0)));
        return s;
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface *>(this) : nullptr;
    }

    QStringList actionNames() const override { return {toggleAction()}; }
    QStringList keyBindingsForAction(const QString &name) const override
    {
        return name == toggleAction() ? QStringList{QStringLiteral("Space")} : QStringList();
    }
    void doAction(const QString &name) override
    {
        if (name != toggleAction() || !isValid())
            return;
        // Through the model, as the delegate does for Space, so every listener sees it.
        const QModelIndex idx = m_list->model()->index(m_row, 0);
        m_list->model()->setData(idx, m_list->isSelected(m_row) ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    }

private:
    QPointer<ListBox> m_list;
    int m_row;
};

class ChecksListAccessible : public QAccessibleWidget {
public:
    explicit ChecksListAccessible(ListBox *list)
        : QAccessibleWidget(list, QAccessible::List)
    {
        // Rows are created on demand and dropped whenever rows move, so an id never
        // names another row than the one it was made for.
        auto forget = [this] { dropRows(); };
        QAbstractItemModel *m = list->model();
        m_links = {
            QObject::connect(m, &QAbstractItemModel::rowsInserted, forget),
            QObject::connect(m, &QAbstractItemModel::rowsRemoved, forget),
            QObject::connect(m, &QAbstractItemModel::modelReset, forget),
            QObject::connect(m, &QAbstractItemModel::layoutChanged, forget),
            QObject::connect(m, &QAbstractItemModel::dataChanged,
                             [this](const QModelIndex &from, const QModelIndex &to, const QList<int> &roles) {
                                 if (roles.contains(Qt::CheckStateRole))
                                     checksChanged(from.row(), to.row());
                             }),
        };
    }
    ~ChecksListAccessible() override
    {
        for (const auto &c : m_links)
            QObject::disconnect(c);
        dropRows();
    }

    ListBox *list() const { return static_cast<ListBox *>(widget()); }
    int childCount() const override { return list()->count(); }

    QAccessibleInterface *child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        auto it = m_rows.find(index);
        if (it == m_rows.end()) {
            auto *row = new RowAccessible(list(), index);
            it = m_rows.emplace(index, QAccessible::registerAccessibleInterface(row)).first;
        }
        return QAccessible::accessibleInterface(it->second);
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        for (const auto &[row, id] : m_rows)
            if (QAccessible::accessibleInterface(id) == child)
                return row;
        return -1;
    }

    QAccessibleInterface *childAt(int x, int y) const override
    {
        const QPoint p = list()->viewport()->mapFromGlobal(QPoint(x, y));
        const QModelIndex idx = list()->indexAt(p);
        return idx.isValid() ? child(idx.row()) : nullptr;
    }

private:
    void dropRows()
    {
        for (const auto &[row, id] : m_rows)
            QAccessible::deleteAccessibleInterface(id);
        m_rows.clear();
    }
    void checksChanged(int from, int to)
    {
        for (int r = from; r <= to; ++r) {
            if (m_rows.find(r) == m_rows.end())
                continue; // nobody has asked about this row yet
            QAccessible::State changed;
            changed.checked = true;
            QAccessibleStateChangeEvent ev(list(), changed);
            ev.setChild(r);
            QAccessible::updateAccessibility(&ev);
        }
    }
    mutable std::unordered_map<int, QAccessible::Id> m_rows;
    std::vector<QMetaObject::Connection> m_links;
};

} // namespace

QAccessibleInterface *listboxaccess::factory(const QString &className, QObject *object)
{
    if (className != QLatin1String("ListBox"))
        return nullptr;
    auto *list = qobject_cast<ListBox *>(object);
    return list && list->checkBoxes() ? new ChecksListAccessible(list) : nullptr;
}
