#include "dialog_window.h"

#include <afxcmn.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QShortcut>

#include "accessibility.h"
#include "controls.h"

namespace afx {

namespace {

constexpr DWORD ButtonType(const res::ControlTemplate& control) {
    return control.style & BS_TYPEMASK;
}
bool IsGroupBox(const res::ControlTemplate& control) {
    return control.controlClass == res::ControlClass::Button && ButtonType(control) == BS_GROUPBOX;
}
bool IsAutoRadio(const res::ControlTemplate& control) {
    return control.controlClass == res::ControlClass::Button &&
           ButtonType(control) == BS_AUTORADIOBUTTON;
}
bool IsTextStatic(const res::ControlTemplate& control) {
    return control.controlClass == res::ControlClass::Static &&
           (control.style & SS_TYPEMASK) != SS_ICON;
}
bool IsPushButton(const res::ControlTemplate& control) {
    return control.controlClass == res::ControlClass::Button &&
           (ButtonType(control) == BS_PUSHBUTTON || ButtonType(control) == BS_DEFPUSHBUTTON);
}
// Statics, group boxes and up-down controls never take the focus.
bool TakesFocus(const res::ControlTemplate& control) {
    return control.controlClass != res::ControlClass::Static &&
           control.controlClass != res::ControlClass::UpDown && !IsGroupBox(control);
}

}  // namespace

DialogWindow::DialogWindow(const res::DialogTemplate& dialogTemplate, CDialog& owner,
                           QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_template(dialogTemplate),
      m_owner(owner) {
    // Before any control exists: Qt keeps the description it makes of a widget first.
    InstallAccessibleInterfaces();
    setWindowTitle(ToQString(m_template.caption));
    setFont(DialogFont(m_template));
    m_units = BaseUnitsOf(font());
    setFixedSize(DialogUnitsToPixels(QRect(0, 0, m_template.cx, m_template.cy), m_units).size());
    setModal(true);

    for (const res::ControlTemplate& control : m_template.controls) {
        QWidget* widget = CreateControl(control);
        ForgetEarlyDescription(widget);
        SetControlId(widget, control.id);
        QRect rect =
            DialogUnitsToPixels(QRect(control.x, control.y, control.cx, control.cy), m_units);
        if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            // The template's height is that of the dropped-down list.
            const int closedHeight = std::min(combo->sizeHint().height(), rect.height());
            const int itemHeight = std::max(1, combo->fontMetrics().height());
            combo->setMaxVisibleItems(std::max(1, (rect.height() - closedHeight) / itemHeight));
            rect.setHeight(closedHeight);
        }
        if (qobject_cast<QLabel*>(widget) || qobject_cast<QRadioButton*>(widget)) {
            // The stand-in font runs wider than the Windows one on some texts; rather than
            // clip them, texts may reach beyond their rectangle.
            rect.setWidth(std::max(rect.width(), widget->sizeHint().width()));
        }
        widget->setGeometry(rect);
        if (!TakesFocus(control)) {
            widget->setFocusPolicy(Qt::NoFocus);
        } else {
            widget->setFocusPolicy((control.style & WS_TABSTOP) ? Qt::StrongFocus : Qt::ClickFocus);
        }
        widget->installEventFilter(this);
        m_entries.push_back({widget, &control});
    }
    ConnectBuddies();
    PlaceInGroupBoxes();
    NameControlsForAccessibility();

    auto* systemMenuKey = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), this);
    connect(systemMenuKey, &QShortcut::activated, this,
            [this] { ShowSystemMenu(mapToGlobal(QPoint(0, 0))); });
    auto* closeKey = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_F4), this);
    connect(closeKey, &QShortcut::activated, this,
            [this] { m_owner.SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0); });
}

DialogWindow::~DialogWindow() {
    for (auto& [widget, object] : m_temporaries) object->m_hWnd = nullptr;
    for (const Entry& entry : m_entries) {
        if (CWnd* object = PermanentObject(entry.widget)) Detach(*object);
    }
}

QWidget* DialogWindow::CreateControl(const res::ControlTemplate& control) {
    const QString text = ToQString(control.text);
    switch (control.controlClass) {
        case res::ControlClass::Button: {
            if (IsGroupBox(control)) return new GroupBox(text, this);
            if (IsAutoRadio(control)) {
                auto* radio = new AutoRadioButton(
                    text, this, [this](AutoRadioButton* checked) { CheckOnlyInGroup(checked); });
                connect(radio, &QRadioButton::clicked, this,
                        [this, radio, id = control.id] { SendCommand(id, BN_CLICKED, radio); });
                return radio;
            }
            auto* button = new PushButton(text, this);
            button->setAutoDefault(false);
            button->setDefault(ButtonType(control) == BS_DEFPUSHBUTTON);
            connect(button, &QPushButton::clicked, this,
                    [this, button, id = control.id] { SendCommand(id, BN_CLICKED, button); });
            return button;
        }
        case res::ControlClass::Static: {
            auto* label = new QLabel(this);
            if ((control.style & SS_TYPEMASK) == SS_ICON) {
                const QIcon icon = IconOf(IconHandle(QString(control.text).toUInt()));
                const int size = GetSystemMetrics(SM_CXICON);
                label->setPixmap(icon.pixmap(size, size));
                label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            } else {
                label->setTextFormat(Qt::PlainText);
                label->setText(text);
                label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            }
            return label;
        }
        case res::ControlClass::Edit: {
            auto* edit = new EditControl(text, this);
            edit->setFrame(control.style & WS_BORDER);
            edit->setReadOnly(control.style & ES_READONLY);
            return edit;
        }
        case res::ControlClass::ComboBox:
            return new ComboBox(this);
        case res::ControlClass::UpDown:
            return new UpDownControl(this, control.style & UDS_SETBUDDYINT,
                                     control.style & UDS_ARROWKEYS);
        case res::ControlClass::ListView:
            return new ListView(this);
    }
    return new QWidget(this);
}

void DialogWindow::ConnectBuddies() {
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const res::ControlTemplate& control = *m_entries[i].control;
        if (auto* upDown = dynamic_cast<UpDownControl*>(m_entries[i].widget)) {
            // Auto-buddy: the control just before in the template.
            if (!(control.style & UDS_AUTOBUDDY) || i == 0) continue;
            auto* buddy = qobject_cast<QLineEdit*>(m_entries[i - 1].widget);
            if (!buddy) continue;
            if (control.style & (UDS_ALIGNRIGHT | UDS_ALIGNLEFT)) {
                // The up-down takes its width from the buddy's edge and the buddy's height.
                QRect buddyRect = buddy->geometry();
                const int width = upDown->width();
                QRect own(0, buddyRect.top(), width, buddyRect.height());
                if (control.style & UDS_ALIGNRIGHT) {
                    buddyRect.setWidth(buddyRect.width() - width);
                    own.moveLeft(buddyRect.right() + 1);
                } else {
                    own.moveLeft(buddyRect.left());
                    buddyRect.setLeft(buddyRect.left() + width);
                }
                buddy->setGeometry(buddyRect);
                upDown->setGeometry(own);
            }
            upDown->SetBuddy(buddy);
        } else if (auto* label = qobject_cast<QLabel*>(m_entries[i].widget)) {
            // A static's mnemonic moves the focus to the next control that can take it.
            if ((control.style & SS_NOPREFIX) || !QString(control.text).contains('&')) continue;
            for (size_t next = i + 1; next < m_entries.size(); ++next) {
                if (TakesFocus(*m_entries[next].control)) {
                    label->setTextFormat(Qt::PlainText);
                    label->setBuddy(m_entries[next].widget);
                    break;
                }
            }
        }
    }
}

void DialogWindow::PlaceInGroupBoxes() {
    // Each control goes into the innermost group box whose template rectangle holds its top
    // edge (a combo box's rectangle includes its list), a group box into one that holds it
    // whole, as into Qt's own group boxes: screen readers learn a control's group from its
    // parent.
    const auto topEdge = [](const res::ControlTemplate& control) {
        return QRect(control.x, control.y, control.cx, 1);
    };
    const auto templateRect = [](const res::ControlTemplate& control) {
        return QRect(control.x, control.y, control.cx, control.cy);
    };
    std::vector<QRect> placed;  // in the dialog, before any moves
    for (const Entry& entry : m_entries) placed.push_back(entry.widget->geometry());
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const res::ControlTemplate& control = *m_entries[i].control;
        const QRect own = IsGroupBox(control) ? templateRect(control) : topEdge(control);
        int container = -1;
        for (size_t box = 0; box < m_entries.size(); ++box) {
            const QRect boxRect = templateRect(*m_entries[box].control);
            if (!IsGroupBox(*m_entries[box].control) || box == i || !boxRect.contains(own) ||
                templateRect(control) == boxRect) {
                continue;
            }
            if (container < 0 || templateRect(*m_entries[container].control).contains(boxRect))
                container = static_cast<int>(box);
        }
        if (container < 0) continue;
        m_entries[i].widget->setParent(m_entries[container].widget);
        m_entries[i].widget->setGeometry(placed[i].translated(-placed[container].topLeft()));
    }
}

void DialogWindow::NameControlsForAccessibility() {
    QString label;  // the text of the static just before, which names the control after it
    for (const Entry& entry : m_entries) {
        const res::ControlTemplate& control = *entry.control;
        const QString text = WidgetText(entry.widget);
        QString name;
        switch (control.controlClass) {
            case res::ControlClass::Static:
                if (IsTextStatic(control))
                    name = (control.style & SS_NOPREFIX) ? text : StripMnemonics(text);
                break;
            case res::ControlClass::Button:
                name = StripMnemonics(text);
                break;
            case res::ControlClass::Edit:
            case res::ControlClass::ComboBox:
            case res::ControlClass::ListView:
                // Without a label of its own, a control is what its window is about.
                name = label.isEmpty() ? windowTitle() : label;
                break;
            case res::ControlClass::UpDown:
                // Named as the number it changes.
                if (auto* upDown = static_cast<UpDownControl*>(entry.widget); upDown->Buddy())
                    name = upDown->Buddy()->accessibleName();
                break;
        }
        if (entry.widget->accessibleName() != name) entry.widget->setAccessibleName(name);
        // The drop-down list is a widget of its own.
        if (auto* combo = qobject_cast<QComboBox*>(entry.widget))
            combo->view()->setAccessibleName(name);
        label = IsTextStatic(control) ? name : QString();
    }
}

QWidget* DialogWindow::Control(int id) const {
    for (const Entry& entry : m_entries) {
        if (entry.control->id == id) return entry.widget;
    }
    return nullptr;
}

const res::ControlTemplate* DialogWindow::TemplateOf(const QWidget* widget) const {
    const int index = IndexOf(widget);
    return index < 0 ? nullptr : m_entries[index].control;
}

int DialogWindow::IndexOf(const QWidget* widget) const {
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].widget == widget) return static_cast<int>(i);
    }
    return -1;
}

CWnd* DialogWindow::TemporaryObject(QWidget* widget) {
    auto found = m_temporaries.find(widget);
    if (found != m_temporaries.end()) return found->second.get();
    const res::ControlTemplate* control = TemplateOf(widget);
    std::unique_ptr<CWnd> object;
    switch (control ? control->controlClass : res::ControlClass::Static) {
        case res::ControlClass::Button:
            object = std::make_unique<CButton>();
            break;
        case res::ControlClass::Static:
            object = std::make_unique<CStatic>();
            break;
        case res::ControlClass::Edit:
            object = std::make_unique<CEdit>();
            break;
        case res::ControlClass::ComboBox:
            object = std::make_unique<CComboBox>();
            break;
        case res::ControlClass::UpDown:
            object = std::make_unique<CSpinButtonCtrl>();
            break;
        case res::ControlClass::ListView:
            object = std::make_unique<CListCtrl>();
            break;
    }
    object->m_hWnd = ToHandle(widget);
    return m_temporaries.emplace(widget, std::move(object)).first->second.get();
}

DialogWindow* DialogWindow::Of(QWidget* widget) {
    for (; widget; widget = widget->parentWidget()) {
        if (auto* dialog = dynamic_cast<DialogWindow*>(widget)) return dialog;
        if (widget->isWindow()) return nullptr;
    }
    return nullptr;
}

void DialogWindow::SendCommand(int id, int code, QWidget* control) {
    const WPARAM wParam = (static_cast<WPARAM>(code & 0xFFFF) << 16) | (id & 0xFFFF);
    m_owner.SendMessage(WM_COMMAND, wParam, reinterpret_cast<LPARAM>(control));
}

// ---------------------------------------------------------------------------------------
// Groups, focus and keyboard.

std::pair<int, int> DialogWindow::GroupAround(int index) const {
    int first = index;
    while (first > 0 && !(m_entries[first].control->style & WS_GROUP)) --first;
    int last = index;
    while (last + 1 < static_cast<int>(m_entries.size()) &&
           !(m_entries[last + 1].control->style & WS_GROUP)) {
        ++last;
    }
    return {first, last};
}

void DialogWindow::CheckOnlyInGroup(QWidget* checked) {
    const int index = IndexOf(checked);
    if (index < 0) return;
    const auto [first, last] = GroupAround(index);
    for (int i = first; i <= last; ++i) {
        if (i == index || !IsAutoRadio(*m_entries[i].control)) continue;
        static_cast<QRadioButton*>(m_entries[i].widget)->setChecked(false);
    }
}

bool DialogWindow::CanTakeFocus(int index) const {
    const Entry& entry = m_entries[index];
    return TakesFocus(*entry.control) && entry.widget->isEnabled() && !entry.widget->isHidden();
}

int DialogWindow::RedirectToCheckedRadio(int index) const {
    // Tabbing into a radio group lands on its checked button.
    if (!IsAutoRadio(*m_entries[index].control)) return index;
    const auto [first, last] = GroupAround(index);
    for (int i = first; i <= last; ++i) {
        if (IsAutoRadio(*m_entries[i].control) && CanTakeFocus(i) &&
            static_cast<QRadioButton*>(m_entries[i].widget)->isChecked()) {
            return i;
        }
    }
    return index;
}

void DialogWindow::FocusFirstTabStop() {
    for (int i = 0; i < static_cast<int>(m_entries.size()); ++i) {
        if ((m_entries[i].control->style & WS_TABSTOP) && CanTakeFocus(i)) {
            QWidget* target = m_entries[RedirectToCheckedRadio(i)].widget;
            target->setFocus(Qt::TabFocusReason);
            if (auto* edit = qobject_cast<QLineEdit*>(target)) edit->selectAll();
            return;
        }
    }
}

bool DialogWindow::focusNextPrevChild(bool next) {
    const int count = static_cast<int>(m_entries.size());
    if (count == 0) return false;
    int index = IndexOf(focusWidget());
    if (index < 0) index = next ? count - 1 : 0;
    for (int step = 1; step <= count; ++step) {
        const int candidate = ((index + (next ? step : -step)) % count + count) % count;
        if ((m_entries[candidate].control->style & WS_TABSTOP) && CanTakeFocus(candidate)) {
            m_entries[RedirectToCheckedRadio(candidate)].widget->setFocus(
                next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
    }
    return false;
}

void DialogWindow::MoveInGroup(int index, bool previous) {
    const auto [first, last] = GroupAround(index);
    const int size = last - first + 1;
    for (int step = 1; step < size; ++step) {
        const int offset = ((index - first) + (previous ? -step : step) % size + size) % size;
        const int candidate = first + offset;
        if (!CanTakeFocus(candidate)) continue;
        QWidget* target = m_entries[candidate].widget;
        target->setFocus(Qt::TabFocusReason);
        if (IsAutoRadio(*m_entries[candidate].control) &&
            !static_cast<QRadioButton*>(target)->isChecked()) {
            static_cast<QRadioButton*>(target)->click();
        }
        return;
    }
}

bool DialogWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int index = IndexOf(qobject_cast<QWidget*>(watched));
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool arrow = key->key() == Qt::Key_Up || key->key() == Qt::Key_Down ||
                           key->key() == Qt::Key_Left || key->key() == Qt::Key_Right;
        // Buttons take no arrow keys: the dialog moves the focus within the group.
        if (arrow && index >= 0 &&
            m_entries[index].control->controlClass == res::ControlClass::Button &&
            key->modifiers() == Qt::NoModifier) {
            MoveInGroup(index, key->key() == Qt::Key_Up || key->key() == Qt::Key_Left);
            return true;
        }
        // Nor characters: a letter alone works as the mnemonic, as Alt with it does.
        if (index >= 0 && m_entries[index].control->controlClass == res::ControlClass::Button &&
            (key->modifiers() & ~Qt::ShiftModifier) == Qt::NoModifier && key->text().size() == 1 &&
            key->text()[0].isLetterOrNumber()) {
            return PressMnemonic(key->text()[0], index);
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool DialogWindow::PressMnemonic(QChar letter, int from) {
    const int count = static_cast<int>(m_entries.size());
    // From the focused control onwards, so that the same letter steps through its owners.
    for (int step = 1; step <= count; ++step) {
        const Entry& entry = m_entries[(from + step) % count];
        const QString text = ToQString(entry.control->text);
        const qsizetype amp = text.indexOf('&');
        if (amp < 0 || amp + 1 >= text.size() || (entry.control->style & SS_NOPREFIX) ||
            text[amp + 1].toCaseFolded() != letter.toCaseFolded() || !entry.widget->isEnabled()) {
            continue;
        }
        if (auto* label = qobject_cast<QLabel*>(entry.widget)) {
            if (QWidget* buddy = label->buddy()) buddy->setFocus(Qt::ShortcutFocusReason);
        } else if (auto* button = qobject_cast<QAbstractButton*>(entry.widget)) {
            button->setFocus(Qt::ShortcutFocusReason);
            button->click();
        }
        return true;
    }
    return false;
}

void DialogWindow::PressDefaultButton() {
    // A focused push button is the default one while it has the focus.
    if (auto* focused = dynamic_cast<PushButton*>(focusWidget());
        focused && IndexOf(focused) >= 0) {
        focused->click();
        return;
    }
    for (const Entry& entry : m_entries) {
        if (IsPushButton(*entry.control) && ButtonType(*entry.control) == BS_DEFPUSHBUTTON) {
            if (entry.widget->isEnabled()) static_cast<PushButton*>(entry.widget)->click();
            return;
        }
    }
    SendCommand(IDOK, BN_CLICKED, nullptr);
}

void DialogWindow::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() & ~(Qt::KeypadModifier)) {
        QDialog::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            PressDefaultButton();
            return;
        case Qt::Key_Escape:
            reject();
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void DialogWindow::reject() {
    // Escape is the Cancel button, also when the dialog has none; not when it is disabled.
    QWidget* cancel = Control(IDCANCEL);
    if (!cancel || cancel->isEnabled()) SendCommand(IDCANCEL, BN_CLICKED, cancel);
}

void DialogWindow::closeEvent(QCloseEvent* event) {
    // The close box is the system menu's Close; the dialog decides what closing means.
    event->ignore();
    m_owner.SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
}

// ---------------------------------------------------------------------------------------
// System menu and painting.

void DialogWindow::ShowSystemMenu(const QPoint& globalPos) {
    CMenu* systemMenu = m_owner.GetSystemMenu(FALSE);
    if (!systemMenu) return;
    if (m_openMenu) m_openMenu->close();
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (UINT pos = 0; pos < systemMenu->GetMenuItemCount(); ++pos) {
        const UINT command = systemMenu->GetMenuItemID(static_cast<int>(pos));
        if (command == 0) {
            menu->addSeparator();
            continue;
        }
        CString text;
        systemMenu->GetMenuString(pos, text, MF_BYPOSITION);
        QAction* action = menu->addAction(ToQString(text));
        connect(action, &QAction::triggered, this,
                [this, command] { m_owner.SendMessage(WM_SYSCOMMAND, command, 0); });
    }
    m_openMenu = menu;
    menu->popup(globalPos);
}

void DialogWindow::contextMenuEvent(QContextMenuEvent* event) {
    // Only the dialog's background, its statics and its group boxes open the window menu.
    QWidget* child = childAt(event->pos());
    if (!child || qobject_cast<QLabel*>(child) || dynamic_cast<GroupBox*>(child)) {
        ShowSystemMenu(event->globalPos());
        event->accept();
    }
}

void DialogWindow::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QWidget* previous = WidgetBeingPainted();
    SetWidgetBeingPainted(this);
    m_owner.SendMessage(WM_PAINT, 0, 0);
    SetWidgetBeingPainted(previous);
}

}  // namespace afx
