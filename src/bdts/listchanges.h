#pragma once
// What a database write changes in the instrument's list: the test systems it holds now and will
// lose, and those it will gain. The write's question shows both, so that the operator sees a loss
// before agreeing to it.
#include "bdts/tstree.h"

#include <QByteArray>
#include <QStringList>

namespace bdts {

struct ListChanges {
    bool heldKnown = false; // the held image could be read as a database
    QStringList lost;       // "group / subgroup / name", in the lists' order
    QStringList gained;
};

// `held`: the instrument's database image as last read; `written`: the list about to replace it.
ListChanges listChanges(const QByteArray &held, const TsTree &written);

} // namespace bdts
