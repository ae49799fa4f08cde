#include "ui/listbox.h"

#include "ui/listbox_accessible.h"

#include <QAccessible>
#include <QEvent>
#include <QItemSelectionModel>
#include <QStyle>
#include <QStyledItemDelegate>
#include <algorithm>
#include <map>
#include <memory>

namespace {

using Advances = std::vector<int16_t>;

// One table of advances per font (-1: not measured yet), shared by every list that shows it.
std::shared_ptr<Advances> advancesOf(const QFont &font)
{
    static std::map<QString, std::weak_ptr<Advances>> tables;
    std::weak_ptr<Advances> &slot = tables[font.key()];
    std::shared_ptr<Advances> table = slot.lock();
    if (!table) {
        table = std::make_shared<Advances>(0x10000, int16_t(-1));
        slot = table;
    }
    return table;
}

// Paints the playing row apart; the row's text itself stays as it is.
class PlayingDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const auto *model = qobject_cast<const ListBoxModel *>(index.model());
        if (model && model->playingRow() == index.row()) {
            option->font.setBold(true);
            option->text = QStringLiteral("▶ ") + option->text;
        }
    }
};
} // namespace

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
    setItemDelegate(new PlayingDelegate(this));
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

std::vector<int> ListBox::setItems(QStringList rows)
{
    m_settingInCode = true;
    std::vector<int> order = m_model->setAll(std::move(rows));
    m_settingInCode = false;
    return order;
}

const QStringList &ListBox::items() const { return m_model->rows(); }

void ListBox::addItems(QStringList rows)
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
    std::shared_ptr<Advances> advances = advancesOf(opt.font);
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

void ListBox::setPlayingEntry(const QString &entry)
{
    const int before = m_model->playingRow();
    m_model->playing = entry;
    for (const int row : {before, m_model->playingRow()})
        if (row >= 0)
            emit m_model->dataChanged(m_model->index(row), m_model->index(row));
}

void ListBox::changeEvent(QEvent *event)
{
    QListView::changeEvent(event);
    if (m_wholeRows && (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange))
        measureRows();
}
