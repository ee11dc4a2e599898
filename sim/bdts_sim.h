#pragma once
// The virtual instrument's bdts feature.
class VirtualInstrument;

class BdtsSim {
public:
    explicit BdtsSim(VirtualInstrument &instrument);
    ~BdtsSim();

private:
    VirtualInstrument &m_vi;
};
