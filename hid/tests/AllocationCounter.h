// Counts heap allocations made anywhere in the process, through malloc and everything built on it.
#ifndef TAVO_HID_ALLOCATIONCOUNTER_H
#define TAVO_HID_ALLOCATIONCOUNTER_H

#include <cstddef>

namespace allocations {

std::size_t count();

} // namespace allocations

#endif
