#include "testing/user_session.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <deque>

#include "afx_testing.h"
#include "dialog_picture.h"
#include "session_runner.h"

namespace afxtest {

using afx::testing::ControlOf;
using afx::testing::DialogOf;
using afx::testing::HandleOf;
using afx::testing::TemplateIdOf;
using afx::testing::WidgetOf;

struct UserSession::Step {
    enum class Kind { Dialog, MessageBox } kind;
    UINT templateId = 0;
    std::function<void(DialogDriver&)> onDialog;
    std::function<void(MessageBoxDriver&)> onMessageBox;

    std::string Describe() const {
        return kind == Kind::Dialog ? "dialog " + std::to_string(templateId) : "a message box";
    }
};

namespace {

constexpr int kPollMilliseconds = 5;
// Only against hangs: a step that has not come back after this long is given up.
constexpr qint64 kHangMilliseconds = 60'000;

std::string Describe(QWidget* window) {
    if (const UINT templateId = TemplateIdOf(HandleOf(window))) {
        return "dialog " + std::to_string(templateId) + " (\"" +
               window->windowTitle().toStdString() + "\")";
    }
    if (auto* box = qobject_cast<QMessageBox*>(window)) {
        return "message box \"" + box->text().toStdString() + "\"";
    }
    return "window \"" + window->windowTitle().toStdString() + "\"";
}

// Closes a window nobody answers as a person would give up on it: Cancel, or OK.
void GiveUp(QWidget* window) {
    if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    if (CDialog* dialog = DialogOf(HandleOf(window))) {
        dialog->EndDialog(IDCANCEL);
    } else if (auto* box = qobject_cast<QMessageBox*>(window)) {
        if (QAbstractButton* escape = box->escapeButton()) {
            escape->click();
        } else {
            box->reject();
        }
    } else if (auto* other = qobject_cast<QDialog*>(window)) {
        other->reject();
    } else {
        window->close();
    }
}

class Runner {
public:
    static Runner& Instance() {
        static Runner runner;
        return runner;
    }

    void Start() {
        if (!m_context) {
            m_context = new QObject(QCoreApplication::instance());
            Schedule();
        }
    }

    void SetSession(UserSession* session) {
        m_session = session;
        m_queue.clear();
    }
    UserSession* Session() const { return m_session; }
    void Enqueue(std::shared_ptr<UserSession::Step> step) { m_queue.push_back(std::move(step)); }
    std::deque<std::shared_ptr<UserSession::Step>>& Queue() { return m_queue; }
    int& Taken() { return m_taken; }

private:
    void Schedule() {
        // A fresh single-shot each time: Qt does not re-enter a timer that is still
        // running, and a step's click may open the next window inside its own call.
        QTimer::singleShot(kPollMilliseconds, m_context, [this] { Poll(); });
    }

    void Poll() {
        Schedule();
        QWidget* top = QApplication::activeModalWidget();
        if (!top || !top->isVisible()) return;
        // An outer step's window is active again for a moment when an inner step closes
        // its own window from within a click; it belongs to that step, not to the next.
        if (std::find(m_running.begin(), m_running.end(), top) != m_running.end()) {
            if (m_busy.elapsed() > kHangMilliseconds) {
                ADD_FAILURE() << "The step acting on " << Describe(top)
                              << " did not come back; closing the window";
                m_busy.restart();
                GiveUp(top);
            }
            return;
        }
        if (m_queue.empty()) {
            ADD_FAILURE() << "Unexpected " << Describe(top)
                          << ": the session expected no more windows";
            GiveUp(top);
            return;
        }
        std::shared_ptr<UserSession::Step> step = m_queue.front();
        m_queue.pop_front();
        const bool isDialog = step->kind == UserSession::Step::Kind::Dialog;
        const UINT templateId = TemplateIdOf(HandleOf(top));
        auto* box = qobject_cast<QMessageBox*>(top);
        const bool matches =
            isDialog ? templateId != 0 && templateId == step->templateId : box != nullptr;
        if (!matches) {
            ADD_FAILURE() << "Expected " << step->Describe() << ", but " << Describe(top)
                          << " came; the rest of the session is dropped";
            m_queue.clear();
            GiveUp(top);
            return;
        }
        ++m_taken;
        // Claim the window before anything runs the event loop: the next poll is due in a
        // few milliseconds and, on a loaded machine, fires inside processEvents().
        m_running.push_back(top);
        m_busy.start();
        top->activateWindow();
        QCoreApplication::processEvents();
        if (isDialog) {
            DialogDriver driver(HandleOf(top));
            step->onDialog(driver);
        } else {
            MessageBoxDriver driver(HandleOf(top));
            step->onMessageBox(driver);
        }
        m_running.pop_back();
        m_busy.start();
    }

    QObject* m_context = nullptr;
    UserSession* m_session = nullptr;
    std::deque<std::shared_ptr<UserSession::Step>> m_queue;
    std::vector<QPointer<QWidget>> m_running;
    QElapsedTimer m_busy;
    int m_taken = 0;
};

}  // namespace

void StartWatchingWindows() {
    Runner::Instance().Start();
}

// ---------------------------------------------------------------------------------------
// UserSession

UserSession::UserSession() {
    Runner& runner = Runner::Instance();
    runner.Start();
    EXPECT_EQ(runner.Session(), nullptr) << "only one user session at a time";
    runner.SetSession(this);
    runner.Taken() = 0;
}

UserSession::~UserSession() {
    Verify();
    Runner::Instance().SetSession(nullptr);
}

UserSession& UserSession::OnDialog(UINT templateId, std::function<void(DialogDriver&)> step) {
    auto entry = std::make_shared<Step>();
    entry->kind = Step::Kind::Dialog;
    entry->templateId = templateId;
    entry->onDialog = std::move(step);
    Runner::Instance().Enqueue(entry);
    return *this;
}

UserSession& UserSession::OnMessageBox(std::function<void(MessageBoxDriver&)> step) {
    auto entry = std::make_shared<Step>();
    entry->kind = Step::Kind::MessageBox;
    entry->onMessageBox = std::move(step);
    Runner::Instance().Enqueue(entry);
    return *this;
}

UserSession& UserSession::OnMessageBox(std::string text, int button) {
    return OnMessageBox([text = std::move(text), button](MessageBoxDriver& box) {
        EXPECT_EQ(box.Text(), text);
        box.Press(button);
    });
}

void UserSession::Verify() {
    auto& queue = Runner::Instance().Queue();
    for (const auto& step : queue) {
        ADD_FAILURE() << "Expected " << step->Describe() << ", but it never came";
    }
    queue.clear();
}

int UserSession::StepsTaken() const {
    return Runner::Instance().Taken();
}

// ---------------------------------------------------------------------------------------
// DialogDriver

namespace {

Qt::Key QtKey(Key key) {
    switch (key) {
        case Key::Tab:
            return Qt::Key_Tab;
        case Key::BackTab:
            return Qt::Key_Backtab;
        case Key::Enter:
            return Qt::Key_Return;
        case Key::Escape:
            return Qt::Key_Escape;
        case Key::Space:
            return Qt::Key_Space;
        case Key::Up:
            return Qt::Key_Up;
        case Key::Down:
            return Qt::Key_Down;
        case Key::Left:
            return Qt::Key_Left;
        case Key::Right:
            return Qt::Key_Right;
        case Key::Home:
            return Qt::Key_Home;
        case Key::End:
            return Qt::Key_End;
    }
    return Qt::Key_unknown;
}

// Makes the window active again (an inner window may just have closed), as a person's
// next key press would go to it.
void Activate(QWidget* window) {
    if (QApplication::activeWindow() != window) {
        window->activateWindow();
        QCoreApplication::processEvents();
    }
}

// Where the window's keyboard input goes: its focus widget, else the window.
QWidget* KeyboardTarget(QWidget* window) {
    Activate(window);
    QWidget* target = window->focusWidget();
    return target ? target : window;
}

void PressKey(QWidget* window, Key key) {
    QWidget* target = KeyboardTarget(window);
    const Qt::KeyboardModifiers modifiers =
        key == Key::BackTab ? Qt::ShiftModifier : Qt::NoModifier;
    QTest::keyClick(target, QtKey(key), modifiers);
    QCoreApplication::processEvents();
}

RECT ToRect(const QRect& rect) {
    return {rect.left(), rect.top(), rect.left() + rect.width(), rect.top() + rect.height()};
}

}  // namespace

DialogDriver::DialogDriver(HWND dialog) : m_dialog(dialog) {}

namespace {

QWidget* Require(HWND dialog, int id) {
    QWidget* control = ControlOf(dialog, id);
    if (!control) ADD_FAILURE() << "The dialog has no control " << id;
    return control;
}

template <class Widget>
Widget* RequireAs(HWND dialog, int id) {
    QWidget* control = Require(dialog, id);
    auto* typed = dynamic_cast<Widget*>(control);
    if (control && !typed) ADD_FAILURE() << "Control " << id << " is not of the expected kind";
    return typed;
}

QAbstractItemView* RequireList(HWND dialog, int id) {
    QWidget* control = Require(dialog, id);
    QAbstractItemView* list = afx::testing::ListViewOf(control);
    if (control && !list) ADD_FAILURE() << "Control " << id << " is no list view";
    return list;
}

}  // namespace

UINT DialogDriver::TemplateId() const {
    return TemplateIdOf(m_dialog);
}
CDialog* DialogDriver::Dialog() const {
    return DialogOf(m_dialog);
}
std::string DialogDriver::Caption() const {
    return WidgetOf(m_dialog)->windowTitle().toStdString();
}
RECT DialogDriver::ClientRect() const {
    return ToRect(WidgetOf(m_dialog)->rect());
}

void DialogDriver::Click(int id) {
    Activate(WidgetOf(m_dialog));
    auto* button = RequireAs<QAbstractButton>(m_dialog, id);
    if (!button) return;
    if (button->isEnabled() && button->isVisible()) QTest::mouseClick(button, Qt::LeftButton);
    QCoreApplication::processEvents();
}

void DialogDriver::Focus(int id) {
    if (QWidget* control = Require(m_dialog, id); control && control->isEnabled()) {
        control->setFocus(Qt::MouseFocusReason);
        QCoreApplication::processEvents();
    }
}

void DialogDriver::Type(int id, std::string_view text) {
    Activate(WidgetOf(m_dialog));
    auto* edit = RequireAs<QLineEdit>(m_dialog, id);
    if (!edit || !edit->isEnabled()) return;
    Focus(id);
    edit->selectAll();
    if (text.empty()) {
        QTest::keyClick(edit, Qt::Key_Backspace);
    } else {
        const QString typed = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
        for (const QChar character : typed) {
            if (character.unicode() < 0x80) {
                QTest::keyClick(edit, character.toLatin1());
            } else {
                // Letters beyond ASCII (umlauts) have their own keys on a German keyboard.
                QTest::sendKeyEvent(QTest::Click, edit,
                                    static_cast<Qt::Key>(character.toUpper().unicode()),
                                    QString(character), Qt::NoModifier);
            }
        }
    }
    QCoreApplication::processEvents();
}

void DialogDriver::Press(Key key) {
    PressKey(WidgetOf(m_dialog), key);
}

void DialogDriver::PressAlt(char letter) {
    QWidget* target = KeyboardTarget(WidgetOf(m_dialog));
    const QChar upper = QChar(letter).toUpper();
    QTest::keyClick(target, static_cast<Qt::Key>(upper.unicode()), Qt::AltModifier);
    QCoreApplication::processEvents();
}

void DialogDriver::PressChar(char character) {
    QTest::keyClick(KeyboardTarget(WidgetOf(m_dialog)), character);
    QCoreApplication::processEvents();
}

void DialogDriver::ClickSpin(int id, bool up) {
    QWidget* control = Require(m_dialog, id);
    QAbstractButton* arrow = afx::testing::UpDownArrow(control, up);
    if (control && !arrow) ADD_FAILURE() << "Control " << id << " is no up-down control";
    if (!arrow || !control->isEnabled()) return;
    QTest::mouseClick(arrow, Qt::LeftButton);
    QCoreApplication::processEvents();
}

void DialogDriver::SelectComboItem(int id, int index) {
    Activate(WidgetOf(m_dialog));
    auto* combo = RequireAs<QComboBox>(m_dialog, id);
    if (!combo || !combo->isEnabled()) return;
    if (index < 0 || index >= combo->count()) {
        ADD_FAILURE() << "Combo box " << id << " has no item " << index;
        return;
    }
    // Open the list with F4, walk to the item with the arrow keys and take it with Enter.
    // (A mouse click into a list that has just opened is ignored for a double-click time.)
    combo->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(combo, Qt::Key_F4);
    QCoreApplication::processEvents();
    QAbstractItemView* list = combo->view();
    if (!list->isVisible()) {
        ADD_FAILURE() << "F4 opened no list for combo box " << id;
        return;
    }
    QTest::keyClick(list, Qt::Key_Home);
    for (int row = 0; row < index; ++row) QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Return);
    QCoreApplication::processEvents();
    if (list->isVisible()) {
        ADD_FAILURE() << "Combo box " << id << " kept its list open after Enter";
        combo->hidePopup();
    }
}

void DialogDriver::SelectListRow(int id, int row) {
    QAbstractItemView* list = RequireList(m_dialog, id);
    if (!list || !list->isEnabled()) return;
    const QModelIndex item = list->model()->index(row, 0);
    if (!item.isValid()) {
        ADD_FAILURE() << "List " << id << " has no row " << row;
        return;
    }
    list->scrollTo(item);
    const QRect rect = list->visualRect(item);
    QTest::mouseClick(
        list->viewport(), Qt::LeftButton, Qt::NoModifier,
        QPoint(std::min(rect.left() + 4, list->viewport()->width() - 1), rect.center().y()));
    QCoreApplication::processEvents();
}

std::vector<std::string> DialogDriver::SystemMenu() const {
    std::vector<std::string> items;
    CMenu* menu = Dialog()->GetSystemMenu(FALSE);
    if (!menu) return items;
    for (UINT pos = 0; pos < menu->GetMenuItemCount(); ++pos) {
        CString text;
        menu->GetMenuString(pos, text, MF_BYPOSITION);
        items.push_back(text.str());
    }
    return items;
}

void DialogDriver::OpenSystemMenu() {
    Activate(WidgetOf(m_dialog));
    QTest::keyClick(WidgetOf(m_dialog), Qt::Key_Space, Qt::AltModifier);
    QCoreApplication::processEvents();
}

void DialogDriver::RightClickBackground() {
    QWidget* window = WidgetOf(m_dialog);
    Activate(window);
    // Through the window, so that Qt turns the click into a context-menu request.
    QTest::mouseClick(window->windowHandle(), Qt::RightButton, Qt::NoModifier, QPoint(2, 2));
    QCoreApplication::processEvents();
}

void DialogDriver::ChooseSystemMenuItem(std::string_view text) {
    OpenSystemMenu();
    QMenu* menu = afx::testing::OpenSystemMenuOf(m_dialog);
    if (!menu || !menu->isVisible()) {
        ADD_FAILURE() << "Alt+Space opened no system menu";
        return;
    }
    for (QAction* action : menu->actions()) {
        if (!action->isSeparator() && action->text().toStdString() == text) {
            menu->hide();
            action->trigger();
            QCoreApplication::processEvents();
            return;
        }
    }
    menu->close();
    ADD_FAILURE() << "The system menu has no item \"" << text << "\"";
}

void DialogDriver::ClickCloseBox() {
    // The window manager asks the window to close; what that means is the dialog's business.
    QWidget* window = WidgetOf(m_dialog);
    Activate(window);
    window->close();
    QCoreApplication::processEvents();
}

std::string DialogDriver::Text(int id) const {
    QWidget* control = Require(m_dialog, id);
    return control ? afx::testing::WindowTextOf(control) : std::string();
}

bool DialogDriver::IsChecked(int id) const {
    auto* button = RequireAs<QAbstractButton>(m_dialog, id);
    return button && button->isChecked();
}

bool DialogDriver::IsEnabled(int id) const {
    QWidget* control = Require(m_dialog, id);
    return control && control->isEnabled();
}

bool DialogDriver::IsReadOnly(int id) const {
    auto* edit = RequireAs<QLineEdit>(m_dialog, id);
    return edit && edit->isReadOnly();
}

bool DialogDriver::Exists(int id) const {
    return ControlOf(m_dialog, id) != nullptr;
}

int DialogDriver::FocusedId() const {
    // The dialog's focus control, also while another window is active for a moment.
    return afx::testing::ControlIdOf(WidgetOf(m_dialog)->focusWidget());
}

std::vector<std::string> DialogDriver::ComboItems(int id) const {
    std::vector<std::string> items;
    if (auto* combo = RequireAs<QComboBox>(m_dialog, id)) {
        for (int i = 0; i < combo->count(); ++i) items.push_back(combo->itemText(i).toStdString());
    }
    return items;
}

int DialogDriver::ComboSelection(int id) const {
    auto* combo = RequireAs<QComboBox>(m_dialog, id);
    return combo ? combo->currentIndex() : -1;
}

std::vector<ListRow> DialogDriver::ListRows(int id) const {
    std::vector<ListRow> rows;
    const QAbstractItemView* list = RequireList(m_dialog, id);
    if (!list) return rows;
    const int columns = afx::testing::ListColumnCount(list);
    for (int row = 0; row < afx::testing::ListItemCount(list); ++row) {
        ListRow texts;
        for (int column = 0; column < columns; ++column) {
            texts.push_back(afx::testing::ListItemText(list, row, column));
        }
        rows.push_back(std::move(texts));
    }
    return rows;
}

int DialogDriver::ListSelectedRow(int id) const {
    const QAbstractItemView* list = RequireList(m_dialog, id);
    return list ? afx::testing::ListSelectedRow(list) : -1;
}

RECT DialogDriver::ControlRect(int id) const {
    QWidget* control = Require(m_dialog, id);
    if (!control) return RECT{0, 0, 0, 0};
    // Controls may sit inside a group box; the rectangle is in the dialog's client area.
    return ToRect(QRect(control->mapTo(WidgetOf(m_dialog), QPoint(0, 0)), control->size()));
}

bool DialogDriver::SaveScreenshot(const std::string& path) const {
    return SaveDialogPicture(m_dialog, path);
}

// ---------------------------------------------------------------------------------------
// MessageBoxDriver

namespace {

QMessageBox* BoxOf(HWND box) {
    return qobject_cast<QMessageBox*>(WidgetOf(box));
}

int ButtonId(QMessageBox* box, QAbstractButton* button) {
    return box->buttonRole(button) == QMessageBox::RejectRole ? IDCANCEL : IDOK;
}

}  // namespace

MessageBoxDriver::MessageBoxDriver(HWND box) : m_box(box) {}

std::string MessageBoxDriver::Text() const {
    return BoxOf(m_box)->text().toStdString();
}

std::string MessageBoxDriver::Caption() const {
    return BoxOf(m_box)->windowTitle().toStdString();
}

std::vector<int> MessageBoxDriver::Buttons() const {
    std::vector<int> ids;
    for (QAbstractButton* button : BoxOf(m_box)->buttons()) {
        ids.push_back(ButtonId(BoxOf(m_box), button));
    }
    return ids;
}

bool MessageBoxDriver::HasIcon() const {
    return BoxOf(m_box)->icon() != QMessageBox::NoIcon;
}

void MessageBoxDriver::Press(int id) {
    QMessageBox* box = BoxOf(m_box);
    for (QAbstractButton* button : box->buttons()) {
        if (ButtonId(box, button) == id) {
            QTest::mouseClick(button, Qt::LeftButton);
            QCoreApplication::processEvents();
            return;
        }
    }
    ADD_FAILURE() << "The message box has no button " << id;
}

void MessageBoxDriver::Press(Key key) {
    PressKey(WidgetOf(m_box), key);
}

}  // namespace afxtest
