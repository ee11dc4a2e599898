#pragma once
// The reader's two exchanges on the link, without any page: the optical density table (branches
// 'G', 'D', '2') and the results protocol (branches 'g', 'N', 'd'), with the sheet object the table
// controller closes before each fetch. The window's reader pages and the command line both run
// the exchanges through this one object.
#include "link/featurecontext.h"
#include "reader/odcontroller.h"
#include "reader/odtableoperation.h"
#include "reader/protocolcontroller.h"
#include "reader/protocoloperation.h"
#include "reader/sheetobject.h"

#include <QObject>

class ReaderExchanges : public QObject {
    Q_OBJECT
public:
    // Registers the six reply branches with the link.
    explicit ReaderExchanges(FeatureContext context, QObject *parent = nullptr);
    // Takes the branches off the link again: the link may outlive this object.
    ~ReaderExchanges() override;

    OdController &od() { return m_od; }
    ProtocolController &protocol() { return m_protocol; }
    // The two jobs: every fetch of the table or the protocol, however started, ends through these.
    OdTableOperation &odOperation() { return m_odJob; }
    ProtocolOperation &protocolOperation() { return m_protocolJob; }
    SheetObject &sheet() { return m_sheet; }

private:
    FeatureContext m_ctx;
    SheetObject m_sheet;
    OdController m_od;
    ProtocolController m_protocol;
    OdTableOperation m_odJob;
    ProtocolOperation m_protocolJob;
};
