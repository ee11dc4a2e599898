#include "sim/reader_sim.h"

#include "sim/virtualinstrument.h"

ReaderSim::ReaderSim(VirtualInstrument &instrument) : m_vi(instrument) { (void)m_vi; }
ReaderSim::~ReaderSim() = default;
