#include "sim/boot_sim.h"

#include "sim/virtualinstrument.h"

BootSim::BootSim(VirtualInstrument &instrument) : m_vi(instrument) { (void)m_vi; }
BootSim::~BootSim() = default;
