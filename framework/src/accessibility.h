// What a screen reader learns of the dialogs: names without mnemonic marks, radio
// buttons as radio buttons, and group boxes as named groupings.
#pragma once

#include <QString>

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

}  // namespace afx
