#include "accessibility.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QHeaderView>
#include <QLabel>

#include <algorithm>

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

// Marks the descriptions made here, so that an early one made by Qt can be told apart.
struct OwnDescription {
    virtual ~OwnDescription() = default;
};

// The key that reaches a control through the mnemonic of the label just before it.
QStringList LabelShortcut(const QAccessibleInterface& control) {
    for (const auto& [other, relation] : control.relations(QAccessible::Label)) {
        if (auto* label = qobject_cast<QLabel*>(other->object())) {
            const QKeySequence shortcut = QKeySequence::mnemonic(label->text());
            if (!shortcut.isEmpty()) return {shortcut.toString()};
        }
    }
    return {};
}

// Our radio buttons leave exclusivity to the dialog's groups, so Qt would take them for
// check boxes. A screen reader names the group with each button, as the group box labels it.
class RadioButtonInterface : public QAccessibleWidget, public OwnDescription {
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

    QList<QPair<QAccessibleInterface*, QAccessible::Relation>> relations(
        QAccessible::Relation match) const override {
        auto found = QAccessibleWidget::relations(match);
        auto* box = dynamic_cast<GroupBox*>(widget()->parentWidget());
        if (box && (match & QAccessible::Label))
            found.append({QAccessible::queryAccessibleInterface(box), QAccessible::Label});
        return found;
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

    QStringList keyBindingsForAction(const QString& name) const override {
        const QKeySequence shortcut = Button()->shortcut();
        if (name != pressAction() || shortcut.isEmpty()) return {};
        return {shortcut.toString()};
    }

private:
    QAbstractButton* Button() const { return static_cast<QAbstractButton*>(widget()); }
};

// A group box holds its controls (they are its children), so a screen reader can say which
// group the focused control belongs to; and it labels its radio buttons.
class GroupBoxInterface : public QAccessibleWidget, public OwnDescription {
public:
    explicit GroupBoxInterface(GroupBox* box) : QAccessibleWidget(box, QAccessible::Grouping) {}

    QList<QPair<QAccessibleInterface*, QAccessible::Relation>> relations(
        QAccessible::Relation match) const override {
        auto found = QAccessibleWidget::relations(match);
        if (!(match & QAccessible::Labelled)) return found;
        for (QObject* child : widget()->children()) {
            if (auto* radio = dynamic_cast<AutoRadioButton*>(child))
                found.append({QAccessible::queryAccessibleInterface(radio), QAccessible::Labelled});
        }
        return found;
    }
};

// An edit with an up-down buddy is one spin button: its number, the up-down's range, and
// the up-down's steps as actions.
class SpinButtonInterface : public QAccessibleWidget,
                            public QAccessibleValueInterface,
                            public OwnDescription {
public:
    explicit SpinButtonInterface(EditControl* edit)
        : QAccessibleWidget(edit, QAccessible::SpinBox) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text type) const override {
        if (type == QAccessible::Value) return Edit()->text();
        return QAccessibleWidget::text(type);
    }

    QVariant currentValue() const override {
        UpDownControl* upDown = Edit()->UpDown();
        return upDown ? upDown->ShownPos() : Edit()->text().toInt();
    }
    void setCurrentValue(const QVariant& value) override {
        if (UpDownControl* upDown = Edit()->UpDown(); upDown && Edit()->isEnabled())
            upDown->SetPos(value.toInt());
    }
    QVariant maximumValue() const override {
        UpDownControl* upDown = Edit()->UpDown();
        return upDown ? std::max(upDown->Lower(), upDown->Upper()) : 0;
    }
    QVariant minimumValue() const override {
        UpDownControl* upDown = Edit()->UpDown();
        return upDown ? std::min(upDown->Lower(), upDown->Upper()) : 0;
    }
    QVariant minimumStepSize() const override { return 1; }

    QStringList actionNames() const override {
        return QStringList{increaseAction(), decreaseAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& name) override {
        UpDownControl* upDown = Edit()->UpDown();
        if ((name == increaseAction() || name == decreaseAction()) && upDown) {
            if (Edit()->isEnabled()) upDown->Step(name == increaseAction());
        } else {
            QAccessibleWidget::doAction(name);
        }
    }
    QStringList keyBindingsForAction(const QString& name) const override {
        return name == increaseAction() ? LabelShortcut(*this) : QStringList();
    }

private:
    EditControl* Edit() const { return static_cast<EditControl*>(widget()); }
};

// An up-down whose buddy speaks for it, as its spin button, stays out of a screen reader's
// way: the spin button's actions are its arrows.
class UpDownInterface : public QAccessibleWidget, public OwnDescription {
public:
    explicit UpDownInterface(UpDownControl* upDown) : QAccessibleWidget(upDown) {}

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.invisible = state.invisible || SpokenForByBuddy();
        return state;
    }
    int childCount() const override {
        return SpokenForByBuddy() ? 0 : QAccessibleWidget::childCount();
    }

private:
    bool SpokenForByBuddy() const {
        auto* upDown = static_cast<UpDownControl*>(widget());
        auto* buddy = dynamic_cast<EditControl*>(upDown->Buddy());
        return buddy && buddy->UpDown() == upDown;
    }
};

// The drop-down list speaks its selected item: as its value and as the text it shows,
// where screen readers look for a drop-down's item. While it has the focus that text is
// highlighted, as Windows draws it, so that a new item reads as a replaced selection.
class ComboBoxInterface : public QAccessibleWidget,
                          public QAccessibleTextInterface,
                          public OwnDescription {
public:
    explicit ComboBoxInterface(ComboBox* combo) : QAccessibleWidget(combo, QAccessible::ComboBox) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text type) const override {
        if (type == QAccessible::Value) return Combo()->currentText();
        return QAccessibleWidget::text(type);
    }

    // The list that drops down is a window of its own; it belongs here all the same.
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 ? QAccessible::queryAccessibleInterface(Combo()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child && child->object() == Combo()->view() ? 0 : -1;
    }

    QStringList actionNames() const override { return {showMenuAction()}; }
    void doAction(const QString& name) override {
        if (name == showMenuAction() && Combo()->isEnabled()) Combo()->showPopup();
    }
    QStringList keyBindingsForAction(const QString& name) const override {
        return name == showMenuAction() ? LabelShortcut(*this) : QStringList();
    }

    // The shown item, read-only.
    void selection(int, int* start, int* end) const override {
        *start = 0;
        *end = Combo()->hasFocus() ? characterCount() : 0;
    }
    int selectionCount() const override { return Combo()->hasFocus() ? 1 : 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int start, int end) const override {
        return Combo()->currentText().mid(start, end - start);
    }
    int characterCount() const override { return static_cast<int>(Combo()->currentText().size()); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* start, int* end) const override {
        *start = *end = offset;
        return {};
    }

private:
    ComboBox* Combo() const { return static_cast<ComboBox*>(widget()); }
};

QAccessibleInterface* CreateInterface(const QString&, QObject* object) {
    if (auto* radio = dynamic_cast<AutoRadioButton*>(object))
        return new RadioButtonInterface(radio);
    if (auto* box = dynamic_cast<GroupBox*>(object)) return new GroupBoxInterface(box);
    if (auto* edit = dynamic_cast<EditControl*>(object); edit && edit->UpDown())
        return new SpinButtonInterface(edit);
    if (auto* combo = dynamic_cast<ComboBox*>(object)) return new ComboBoxInterface(combo);
    if (auto* upDown = dynamic_cast<UpDownControl*>(object)) return new UpDownInterface(upDown);
    return nullptr;
}

}  // namespace

void ForgetEarlyDescription(QWidget* control) {
    if (!dynamic_cast<AutoRadioButton*>(control) && !dynamic_cast<GroupBox*>(control) &&
        !dynamic_cast<ComboBox*>(control) && !dynamic_cast<UpDownControl*>(control)) {
        return;
    }
    QAccessibleInterface* described = QAccessible::queryAccessibleInterface(control);
    if (described && !dynamic_cast<OwnDescription*>(described))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(described));
}

void ForgetDescription(QWidget* control) {
    if (QAccessibleInterface* described = QAccessible::queryAccessibleInterface(control))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(described));
}

void AnnounceValueChange(QWidget* control) {
    if (!QAccessible::isActive()) return;
    QAccessibleInterface* described = QAccessible::queryAccessibleInterface(control);
    if (!described || !described->valueInterface()) return;
    QAccessibleValueChangeEvent event(control, described->valueInterface()->currentValue());
    QAccessible::updateAccessibility(&event);
}

void AnnounceShownText(QWidget* control, const QString& text) {
    if (!QAccessible::isActive() || text.isEmpty()) return;
    // Only the new text: the old one's removal would be heard as a cleared selection.
    QAccessibleTextInsertEvent event(control, 0, text);
    QAccessible::updateAccessibility(&event);
}

void AnnounceFocusedCell(QAbstractItemView* view, int row, int column) {
    if (!QAccessible::isActive()) return;
    // The cell's place among the table's children is the table's own to tell: its headers
    // count among them.
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(view);
    if (!table || !table->tableInterface()) return;
    QAccessibleInterface* cell = table->tableInterface()->cellAt(row, column);
    if (!cell) return;
    QAccessibleEvent event(view, QAccessible::Focus);
    event.setChild(table->indexOfChild(cell));
    QAccessible::updateAccessibility(&event);
}

void InstallAccessibleInterfaces() {
    static const bool installed = [] {
        QAccessible::installFactory(&CreateInterface);
        return true;
    }();
    (void)installed;
}

}  // namespace afx
