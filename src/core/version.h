#pragma once
// The program's version, from one place: the project version of the build and, when it was built
// from a git checkout, the commit. For --version, the About page and the journal.
#include <QDate>
#include <QString>

namespace kviro {

// The application title "КВИРО-сервис 2011_01_01 (3070)", shown by the window and set as the
// application's name by both programs. The user's data folder has a plain name of its own
// (files::programDir()).
QString applicationTitle();
// "2014.6.5": year, month, day of the release.
QString versionNumber();
// The commit the program was built from ("63facec1a2"; "+" appended when the checkout had
// uncommitted changes); empty when it was not built from a checkout.
QString buildCommit();
// "2014.6.5 (git 63facec1a2)", or "2014.6.5" without a commit.
QString versionText();
// The date the program's sources were committed (the build day when not built from a checkout).
QDate buildDate();
// The release as the About page writes it: "05_06_2014" for 2014.6.5.
QString versionDateText();

} // namespace kviro
