#pragma once
// The virtual instrument's reader feature.
class VirtualInstrument;

class ReaderSim {
public:
    explicit ReaderSim(VirtualInstrument &instrument);
    ~ReaderSim();

private:
    VirtualInstrument &m_vi;
};
