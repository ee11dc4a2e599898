#pragma once
// The virtual instrument's boot feature.
class VirtualInstrument;

class BootSim {
public:
    explicit BootSim(VirtualInstrument &instrument);
    ~BootSim();

private:
    VirtualInstrument &m_vi;
};
