#include "sim/bdts_sim.h"

#include "sim/virtualinstrument.h"

BdtsSim::BdtsSim(VirtualInstrument &instrument) : m_vi(instrument) { (void)m_vi; }
BdtsSim::~BdtsSim() = default;
