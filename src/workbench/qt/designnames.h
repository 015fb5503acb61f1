#pragma once
// Every control of a window is found by its design name (objectName) and by what a user sees:
// its accessible name is its caption without accelerator marks, else its hint, else its name.

#include <QString>

class QWidget;

namespace orn {

// "&Query" gives "Query", "Save Para&ms" "Save Params", "a && b" "a & b".
QString WithoutAccelerator(const QString& caption);
// Sets the object name, the tool tip (the hint) and the accessible name.
void SetDesignName(QWidget* widget, const char* name, const QString& caption = {},
                   const QString& hint = {});

}  // namespace orn
