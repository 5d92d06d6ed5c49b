// Tests that read as user sessions: a person sitting at the program, answering each window
// that comes up. A test lists the windows it expects, in order, each with what the person
// does there; then it runs the code that opens them. Whenever a dialog or message box
// becomes the active modal window (also inside nested modal runs, and also when an outer
// dialog becomes active again after an inner one closed), the next step receives it.
//
//     using namespace afxtest;
//     UserSession user;
//     user.OnDialog(IDD_MIME_ADD, [](DialogDriver& dlg) {
//             dlg.Click(IDOK);                        // both fields empty
//         })
//         .OnMessageBox("Erweiterung wurde nicht eingegeben.", IDOK)
//         .OnDialog(IDD_MIME_ADD, [](DialogDriver& dlg) {
//             dlg.Type(IDC_MIME_EXTENSION, "pdf");
//             dlg.Type(IDC_MIME_TYPE, "application/pdf");
//             dlg.Press(Key::Enter);                  // the default button, OK
//         });
//     CMimeAddDlg dlg;
//     EXPECT_EQ(dlg.DoModal(), IDOK);
//     user.Verify();                                  // every step was used
//     EXPECT_EQ(dlg.m_strExtension, "pdf");
//
// A step may also act on a window that opens another one: Click() returns once the inner
// window has closed (its own step handled it), so the step can go on reading its dialog.
// A window nobody expects, or of another kind or template than the next step expects, fails
// the test and is closed with Escape, so a broken test ends instead of hanging. A guard
// closes everything if nothing changes for a long time (against hangs only).
//
// Link `marrowick_test_driver`; it provides main(), which runs the tests on the `offscreen`
// platform unless QT_QPA_PLATFORM says otherwise. Controls are addressed by template ID.
#pragma once

#include <afxwin.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace afxtest {

// Keys a person presses. Letters for mnemonics go through PressAlt.
enum class Key { Tab, BackTab, Enter, Escape, Space, Up, Down, Left, Right, Home, End };

// One row of a list view, its column texts from left to right.
using ListRow = std::vector<std::string>;

// The dialog a step receives. Acting on a control that does not exist fails the test.
class DialogDriver {
public:
    explicit DialogDriver(HWND dialog);

    UINT TemplateId() const;
    CDialog* Dialog() const;  // the program's object
    std::string Caption() const;
    RECT ClientRect() const;  // pixels

    // What a person does.
    void Click(int id);                                // push, radio button; not when disabled
    void Type(int id, std::string_view text);          // focus, select all, type; honours read-only
    void Focus(int id);                                // gives it the focus; clicks nothing
    void Press(Key key);                               // to the focused control
    void PressAlt(char letter);                        // a mnemonic
    void PressChar(char character);                    // a plain key, to the focused control
    void ClickSpin(int id, bool up);                   // an up-down control's arrow
    void SelectComboItem(int id, int index);           // opens the list (F4), arrows, Enter
    void SelectListRow(int id, int row);               // by clicking the row
    std::vector<std::string> SystemMenu() const;       // item texts, "" for a separator
    void OpenSystemMenu();                             // with Alt+Space
    void RightClickBackground();                       // where no control is
    void ChooseSystemMenuItem(std::string_view text);  // opens the menu and picks
    void ClickCloseBox();                              // the caption's X: a close request

    // What a person sees.
    std::string Text(int id) const;  // window text; an edit's content
    bool IsChecked(int id) const;
    bool IsEnabled(int id) const;
    bool IsReadOnly(int id) const;
    bool Exists(int id) const;
    int FocusedId() const;  // 0 when no control of the dialog has the focus
    std::vector<std::string> ComboItems(int id) const;
    int ComboSelection(int id) const;  // -1 when none
    std::vector<ListRow> ListRows(int id) const;
    int ListSelectedRow(int id) const;  // -1 when none
    RECT ControlRect(int id) const;     // pixels, in the dialog's client area

    // Renders the dialog (with a caption bar drawn above it) into a PNG file.
    bool SaveScreenshot(const std::string& path) const;

private:
    HWND m_dialog;
};

// The message box a step receives.
class MessageBoxDriver {
public:
    explicit MessageBoxDriver(HWND box);

    std::string Text() const;
    std::string Caption() const;
    std::vector<int> Buttons() const;  // IDOK, IDCANCEL in the order shown
    bool HasIcon() const;

    void Press(int button);  // IDOK or IDCANCEL
    void Press(Key key);     // Enter, Escape

private:
    HWND m_box;
};

class UserSession {
public:
    UserSession();
    ~UserSession();  // verifies, as Verify()
    UserSession(const UserSession&) = delete;
    UserSession& operator=(const UserSession&) = delete;

    UserSession& OnDialog(UINT templateId, std::function<void(DialogDriver&)> step);
    UserSession& OnMessageBox(std::function<void(MessageBoxDriver&)> step);
    // A message box with exactly this text, answered with this button.
    UserSession& OnMessageBox(std::string text, int button);

    // Fails the test for every step no window came for; clears them.
    void Verify();
    // Steps that received their window so far.
    int StepsTaken() const;

    struct Step;

private:
    std::vector<std::shared_ptr<Step>> m_steps;
    int m_taken = 0;
    friend class SessionRunner;
};

}  // namespace afxtest
