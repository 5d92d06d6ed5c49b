// What a screen reader learns of the dialogs: names without mnemonic marks, radio
// buttons as radio buttons labelled by their group, edits with an up-down as spin buttons,
// the drop-down's selected item, the list's current row, and every mnemonic as a shortcut.
#pragma once

#include <QString>

class QAbstractItemView;
class QWidget;

namespace afx {

// A text as Windows draws it with prefix processing: a single & only marks the next
// character and is not shown; && shows one &.
QString StripMnemonics(const QString& text);

// Lets the accessibility framework describe the framework's own controls. Idempotent.
void InstallAccessibleInterfaces();

// Qt describes a widget as soon as it hears of it, possibly while only a base class is
// constructed; this drops such an early description of a framework control, so that the
// next one comes from the factory above.
void ForgetEarlyDescription(QWidget* control);
// Drops whatever description there is, for a control that has become another kind of thing.
void ForgetDescription(QWidget* control);

// Tell screen readers that a control's value or the text it shows has changed; and which
// cell of a list has the focus.
void AnnounceValueChange(QWidget* control);
void AnnounceShownText(QWidget* control, const QString& text);
void AnnounceFocusedCell(QAbstractItemView* view, int row, int column);

}  // namespace afx
