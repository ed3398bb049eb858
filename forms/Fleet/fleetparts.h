// Pieces the fleet window and its dialogs share: the buttons at a dialog's foot, and the
// parameters one can choose, page by page.
#pragma once

#include <QString>
#include <vector>

#include "model/catalogue.h"

class QBoxLayout;
class QDialog;
class QPushButton;

namespace fleetparts {

// The buttons at the foot of a dialog, at its right: `caption` accepts it, "Отмена" rejects
// it. Returns the first.
QPushButton* footButtons(QDialog* dialog, QBoxLayout* layout, const QString& caption,
                         const char* acceptName, const char* cancelName);

// A parameter of the main window that is not hidden, with the caption of its page and its own
// caption without the closing colon.
struct Choice {
    QString page;
    orbex::Id id;
    QString caption;
};
// In the main window's order: page by page, each in the order of its controls.
std::vector<Choice> choices();

}  // namespace fleetparts
