#include "controls.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QToolButton>

#include <algorithm>
#include <limits>
#include <utility>

#include "accessibility.h"
#include "framework_internal.h"

namespace afx {

namespace {

// A button's mnemonic clicks it at once, as on Windows; Qt would animate the click over a
// tenth of a second. False for any other event.
bool ClickOnShortcut(QAbstractButton* button, QEvent* event) {
    if (event->type() != QEvent::Shortcut) return false;
    button->setFocus(Qt::ShortcutFocusReason);
    button->click();
    return true;
}

}  // namespace

bool PushButton::event(QEvent* event) {
    return ClickOnShortcut(this, event) || QPushButton::event(event);
}

AutoRadioButton::AutoRadioButton(const QString& text, QWidget* parent,
                                 std::function<void(AutoRadioButton*)> onChecked)
    : QRadioButton(text, parent), m_onChecked(std::move(onChecked)) {
    // Exclusivity runs along the template's groups, not along Qt's parent widget.
    setAutoExclusive(false);
}

void AutoRadioButton::nextCheckState() {
    setChecked(true);
    if (m_onChecked) m_onChecked(this);
}

bool AutoRadioButton::event(QEvent* event) {
    return ClickOnShortcut(this, event) || QRadioButton::event(event);
}

// ---------------------------------------------------------------------------------------

void EditControl::changeEvent(QEvent* event) {
    QLineEdit::changeEvent(event);
    // The palette too, so the colours follow the dialog's when its palette changes.
    if (event->type() == QEvent::ReadOnlyChange || event->type() == QEvent::PaletteChange) {
        ShowWhetherReadOnly();
    }
}

UpDownControl* EditControl::UpDown() const {
    return static_cast<UpDownControl*>(m_upDown.data());
}

void EditControl::SetUpDown(UpDownControl* upDown) {
    m_upDown = upDown;
    // Described afresh: as a spin button with an up-down, as an edit without.
    ForgetDescription(this);
}

void EditControl::ShowWhetherReadOnly() {
    if (isReadOnly()) {
        QPalette colours = palette();
        for (int group = 0; group < QPalette::NColorGroups; ++group) {
            const auto colourGroup = static_cast<QPalette::ColorGroup>(group);
            colours.setBrush(colourGroup, QPalette::Base,
                             colours.brush(colourGroup, QPalette::Window));
        }
        // An unchanged palette would only bring the next PaletteChange.
        if (colours != palette()) setPalette(colours);
    } else if (m_onFaceColour) {
        setPalette(QPalette());  // the dialog's colours again
    }
    m_onFaceColour = isReadOnly();
}

ComboBox::ComboBox(QWidget* parent) : QComboBox(parent) {
    connect(this, &QComboBox::currentIndexChanged, this,
            [this] { AnnounceShownText(this, currentText()); });
}

// Not transparent for the mouse: the dialog places the controls inside it as its children.
GroupBox::GroupBox(const QString& title, QWidget* parent) : QWidget(parent), m_title(title) {}

void GroupBox::SetTitle(const QString& title) {
    m_title = title;
    update();
}

void GroupBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QFontMetrics metrics = fontMetrics();
    const int top = metrics.height() / 2;
    const QRect frame(0, top, width() - 2, height() - top - 2);
    // Etched: a shadow line with a light line just inside and below it.
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(frame.translated(1, 1));
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(frame);
    if (m_title.isEmpty()) return;
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic | Qt::TextSingleLine;
    QRect titleRect = metrics.boundingRect(QRect(0, 0, width(), metrics.height()), flags, m_title);
    titleRect.moveTopLeft(QPoint(metrics.averageCharWidth() + 2, 0));
    painter.fillRect(titleRect.adjusted(-2, 0, 2, 0), palette().color(QPalette::Window));
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(titleRect, flags, m_title);
}

// ---------------------------------------------------------------------------------------

UpDownControl::UpDownControl(QWidget* parent, bool setBuddyInt, bool arrowKeys)
    : QWidget(parent),
      m_up(new QToolButton(this)),
      m_down(new QToolButton(this)),
      m_setBuddyInt(setBuddyInt),
      m_arrowKeys(arrowKeys) {
    for (QToolButton* button : {m_up, m_down}) {
        button->setFocusPolicy(Qt::NoFocus);
        button->setAutoRepeat(true);
    }
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    m_up->setAccessibleName(LoadResourceString(AFX_IDS_UPDOWN_INCREASE));
    m_down->setAccessibleName(LoadResourceString(AFX_IDS_UPDOWN_DECREASE));
    connect(m_up, &QToolButton::clicked, this, [this] { Step(true); });
    connect(m_down, &QToolButton::clicked, this, [this] { Step(false); });
    setFocusPolicy(Qt::NoFocus);
}

void UpDownControl::SetBuddy(QLineEdit* buddy) {
    if (m_buddy) {
        m_buddy->removeEventFilter(this);
        disconnect(m_buddy, nullptr, this, nullptr);
        if (auto* edit = dynamic_cast<EditControl*>(m_buddy)) edit->SetUpDown(nullptr);
    }
    m_buddy = buddy;
    if (!m_buddy) return;
    if (m_arrowKeys) m_buddy->installEventFilter(this);
    if (auto* edit = dynamic_cast<EditControl*>(m_buddy)) {
        edit->SetUpDown(this);
        // Typing and stepping alike change the number a screen reader announces.
        connect(edit, &QLineEdit::textChanged, this, [edit] { AnnounceValueChange(edit); });
    }
    if (m_setBuddyInt) ShowPosInBuddy();
}

bool UpDownControl::InRange(int value) const {
    return value >= std::min(m_lower, m_upper) && value <= std::max(m_lower, m_upper);
}

int UpDownControl::Clamp(int value) const {
    return std::clamp(value, std::min(m_lower, m_upper), std::max(m_lower, m_upper));
}

int UpDownControl::SetPos(int pos) {
    // Positions are 16-bit numbers.
    const int position = Clamp(static_cast<short>(pos & 0xFFFF));
    const int previous = m_pos;
    m_pos = position;
    if (m_setBuddyInt) ShowPosInBuddy();
    return previous;
}

namespace {

// A whole number as Windows reads it from the buddy: optional leading blanks, an optional
// sign, at least one digit, nothing after.
bool ParseWholeNumber(const QString& text, int* value) {
    qsizetype start = 0;
    while (start < text.size() && text[start].isSpace()) ++start;
    const QString number = text.mid(start);
    qsizetype digits = (!number.isEmpty() && (number[0] == '+' || number[0] == '-')) ? 1 : 0;
    if (digits == number.size()) return false;
    for (; digits < number.size(); ++digits) {
        if (number[digits] < '0' || number[digits] > '9') return false;
    }
    bool ok = false;
    const long long parsed = number.toLongLong(&ok);
    if (!ok || parsed < std::numeric_limits<int>::min() || parsed > std::numeric_limits<int>::max())
        return false;
    *value = static_cast<int>(parsed);
    return true;
}

}  // namespace

bool UpDownControl::BuddyNumber(int* number) const {
    return m_setBuddyInt && m_buddy && ParseWholeNumber(m_buddy->text(), number) &&
           InRange(*number);
}

void UpDownControl::SyncFromBuddy(bool* valid) {
    int number = 0;
    const bool ok = BuddyNumber(&number);
    // Else the last valid value, pulled into a range that may have changed since.
    m_pos = ok ? number : Clamp(m_pos);
    if (valid) *valid = ok;
}

int UpDownControl::ShownPos() const {
    int number = 0;
    return BuddyNumber(&number) ? number : Clamp(m_pos);
}

int UpDownControl::Pos(bool* valid) {
    SyncFromBuddy(valid);
    return m_pos;
}

void UpDownControl::SetRange(int lower, int upper) {
    m_lower = static_cast<short>(lower);
    m_upper = static_cast<short>(upper);
}

void UpDownControl::Step(bool up) {
    SyncFromBuddy(nullptr);
    // Up moves towards the upper bound, also when that is the smaller number.
    const int delta = (up ? 1 : -1) * (m_upper < m_lower ? -1 : 1);
    SetPos(Clamp(m_pos + delta));
}

void UpDownControl::ShowPosInBuddy() {
    if (!m_buddy) return;
    const QString text = QString::number(m_pos);
    if (m_buddy->text() != text) m_buddy->setText(text);
}

void UpDownControl::resizeEvent(QResizeEvent*) {
    const int half = height() / 2;
    m_up->setGeometry(0, 0, width(), half);
    m_down->setGeometry(0, half, width(), height() - half);
}

bool UpDownControl::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_buddy && event->type() == QEvent::KeyPress && isEnabled()) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            Step(key == Qt::Key_Up);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------

ListView::ListView(QWidget* parent) : QTableView(parent), m_rows(this) {
    setModel(&m_rows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Tab leaves the list, as it leaves every other control; the arrows move in it.
    setTabKeyNavigation(false);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setSectionsMovable(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (m_updating) return;
        // Deselecting keeps the mark; selecting a row moves it there.
        if (const int row = SelectedRow(); row >= 0) m_selectionMark = row;
    });
}

int ListView::InsertColumn(int column, const QString& heading, int width) {
    if (column < 0) return -1;
    ApplyPendingRows();
    const int count = m_rows.Columns();
    column = std::min(column, count);
    std::vector<int> widths;
    for (int i = 0; i < count; ++i) widths.push_back(columnWidth(i));
    m_rows.InsertColumn(column, heading);
    widths.insert(widths.begin() + column,
                  width >= 0 ? width : fontMetrics().horizontalAdvance(heading) + 12);
    for (int i = 0; i <= count; ++i) setColumnWidth(i, widths[static_cast<std::size_t>(i)]);
    return column;
}

int ListView::ItemCount() const {
    return RowsShown() + PendingRowCount();
}

int ListView::PendingRowCount() const {
    return m_pending.empty() ? 0 : static_cast<int>(m_pending.size()) / m_pendingColumns;
}

int ListView::InsertItem(int row, std::string_view text) {
    if (row < 0 || m_rows.Columns() == 0) return -1;
    row = std::min(row, ItemCount());
    if (!m_redraw && row >= RowsShown()) {
        if (m_pending.empty()) m_pendingColumns = m_rows.Columns();
        m_pending.emplace_back(text);
        m_pending.resize(m_pending.size() + static_cast<size_t>(m_pendingColumns) - 1);
        return row;
    }
    ApplyPendingRows();
    m_updating = true;
    m_rows.InsertRow(row, text);
    m_updating = false;
    if (m_selectionMark >= row) ++m_selectionMark;
    return row;
}

bool ListView::SetItemText(int row, int column, std::string_view text) {
    if (row < 0 || column < 0 || column >= m_rows.Columns()) return false;
    if (row < RowsShown()) {
        m_rows.SetText(row, column, text);
        return true;
    }
    const int pendingRow = row - RowsShown();
    if (pendingRow >= PendingRowCount()) return false;
    m_pending[static_cast<size_t>(pendingRow) * m_pendingColumns + column].assign(text);
    return true;
}

QString ListView::ItemText(int row, int column) const {
    if (row < 0 || column < 0 || column >= m_rows.Columns()) return QString();
    if (row < RowsShown()) return QString::fromStdString(m_rows.Text(row, column));
    const int pendingRow = row - RowsShown();
    if (pendingRow >= PendingRowCount()) return QString();
    return QString::fromStdString(
        m_pending[static_cast<size_t>(pendingRow) * m_pendingColumns + column]);
}

void ListView::DeleteAllItems() {
    m_pending.clear();
    m_selectionMark = -1;
    if (!m_redraw) {
        // Left in place until redraw is on again, where the rows that come back keep them.
        m_replacingAll = true;
        return;
    }
    m_updating = true;
    m_rows.Clear();
    m_updating = false;
}

void ListView::SetRedraw(bool redraw) {
    m_redraw = redraw;
    if (redraw) ApplyPendingRows();
    setUpdatesEnabled(redraw);
}

void ListView::ApplyPendingRows() {
    const bool replacingAll = std::exchange(m_replacingAll, false);
    std::vector<std::string> cells = std::exchange(m_pending, {});
    if (cells.empty() && !replacingAll) return;
    m_updating = true;
    if (replacingAll) {
        m_rows.Replace(std::move(cells));
        // As after deleting every row: nothing selected, nothing current, at the top.
        clearSelection();
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
        scrollToTop();
    } else {
        m_rows.Append(std::move(cells));
    }
    m_updating = false;
}

void ListView::focusInEvent(QFocusEvent* event) {
    QTableView::focusInEvent(event);
    // The keyboard needs a current row to start from.
    if (!currentIndex().isValid() && m_rows.Rows() > 0 && event->reason() != Qt::MouseFocusReason) {
        selectionModel()->setCurrentIndex(model()->index(0, 0), QItemSelectionModel::NoUpdate);
    }
    // A screen reader names the current row, once it has heard of the list itself, which Qt
    // tells after this handler; Qt itself tells of the current row only when it moves.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (const QModelIndex current = currentIndex(); current.isValid() && hasFocus())
                AnnounceFocusedCell(this, current.row(), current.column());
        },
        Qt::QueuedConnection);
}

int ListView::SelectedRow() const {
    const QModelIndexList selected = selectionModel()->selectedRows();
    return selected.isEmpty() ? -1 : selected.front().row();
}

}  // namespace afx
