#include "accessibility.h"

#include <QAbstractButton>
#include <QAccessibleWidget>

#include "controls.h"

namespace afx {

QString StripMnemonics(const QString& text) {
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            shown += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '&') {
            shown += '&';
            ++i;
        }
    }
    return shown;
}

namespace {

// Our radio buttons leave exclusivity to the dialog's groups, so Qt would take them for
// check boxes.
class RadioButtonInterface : public QAccessibleWidget {
public:
    explicit RadioButtonInterface(QAbstractButton* button)
        : QAccessibleWidget(button, QAccessible::RadioButton) {
        addControllingSignal(QStringLiteral("toggled(bool)"));
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = true;
        state.checked = Button()->isChecked();
        return state;
    }

    QStringList actionNames() const override {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& name) override {
        if (name != pressAction()) {
            QAccessibleWidget::doAction(name);
        } else if (Button()->isEnabled()) {
            Button()->click();
        }
    }

private:
    QAbstractButton* Button() const { return static_cast<QAbstractButton*>(widget()); }
};

// A group box holds its controls (they are its children), so a screen reader can say which
// group the focused control belongs to.
class GroupBoxInterface : public QAccessibleWidget {
public:
    explicit GroupBoxInterface(GroupBox* box) : QAccessibleWidget(box, QAccessible::Grouping) {}
};

QAccessibleInterface* CreateInterface(const QString&, QObject* object) {
    if (auto* radio = dynamic_cast<AutoRadioButton*>(object))
        return new RadioButtonInterface(radio);
    if (auto* box = dynamic_cast<GroupBox*>(object)) return new GroupBoxInterface(box);
    return nullptr;
}

}  // namespace

void ForgetEarlyDescription(QWidget* control) {
    if (!dynamic_cast<AutoRadioButton*>(control) && !dynamic_cast<GroupBox*>(control)) return;
    QAccessibleInterface* described = QAccessible::queryAccessibleInterface(control);
    if (described && !dynamic_cast<RadioButtonInterface*>(described) &&
        !dynamic_cast<GroupBoxInterface*>(described)) {
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(described));
    }
}

void InstallAccessibleInterfaces() {
    static const bool installed = [] {
        QAccessible::installFactory(&CreateInterface);
        return true;
    }();
    (void)installed;
}

}  // namespace afx
