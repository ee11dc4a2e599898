#pragma once
// What every feature of the program is handed by the main window.
#include <QString>

class InstrumentLink;
class StatusModel;
class UserDialogs;

struct FeatureContext {
    InstrumentLink &link;
    StatusModel &status;
    UserDialogs &dialogs;
    QString programDir; // with a trailing separator
};
